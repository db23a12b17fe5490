// How the Windows folder listing types an entry: from the attributes that
// FindFirstFileW reports and, for a reparse point, its tag
// (WIN32_FIND_DATAW.dwReserved0). No Windows header, so the rule is tested
// natively too, with the values Windows uses.
#pragma once

#include <cstdint>

#include "platform/directory.h"

namespace vexlo::platform {

inline constexpr std::uint32_t kAttributeDirectory = 0x10;      // FILE_ATTRIBUTE_DIRECTORY
inline constexpr std::uint32_t kAttributeDevice = 0x40;         // FILE_ATTRIBUTE_DEVICE
inline constexpr std::uint32_t kAttributeReparsePoint = 0x400;  // FILE_ATTRIBUTE_REPARSE_POINT

// IsReparseTagNameSurrogate: the tag's owner says the point stands for
// another named entity (symbolic links, junctions, mount points).
constexpr bool IsNameSurrogate(std::uint32_t tag) { return (tag & 0x2000'0000u) != 0; }

// The reserved tags (IO_REPARSE_TAG_RESERVED_ZERO to _TWO) belong to no
// owner: a listing that reports no tag (Wine does so for Unix symbolic links)
// gives 0.
constexpr bool IsReservedTag(std::uint32_t tag) { return tag <= 2; }

// Only a name surrogate can make a walk loop or leave the tree, so only it
// is a link; so is a reparse point without a real tag, which may be one.
// Every other reparse point (cloud placeholders, deduplicated or
// WOF-compressed files, HSM stubs, ...) is the file or folder it shows:
// skipping them would skip most of a synced Pictures folder.
constexpr EntryType FoundEntryType(std::uint32_t attributes, std::uint32_t reparseTag) {
    if ((attributes & kAttributeReparsePoint) != 0 && (IsNameSurrogate(reparseTag) || IsReservedTag(reparseTag))) {
        return EntryType::Link;
    }
    if ((attributes & kAttributeDirectory) != 0) return EntryType::Directory;
    if ((attributes & kAttributeDevice) != 0) return EntryType::Other;
    return EntryType::File;
}

}  // namespace vexlo::platform
