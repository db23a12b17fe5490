#include "cli/inputs.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "platform/directory.h"
#include "platform/source_file.h"
#include "png/format.h"

namespace vexlo::cli {
namespace {

using platform::Path;

bool IsSeparator(platform::Char c) {
#ifdef _WIN32
    return c == L'\\' || c == L'/';
#else
    return c == '/';
#endif
}

Path Join(const Path& folder, const Path& name) {
    if (!folder.empty() && IsSeparator(folder.back())) return folder + name;
#ifdef _WIN32
    return folder + L'\\' + name;
#else
    return folder + '/' + name;
#endif
}

enum class Signature { Png, Other, Unreadable };

Signature ReadSignature(const Path& path, platform::OsError& error) {
    platform::SourceFile file;
    const platform::ReadStatus opened = file.Open(path);
    error = opened.error;
    if (!opened) return Signature::Unreadable;
    std::array<std::uint8_t, png::kSignature.size()> head{};
    const std::optional<std::size_t> got = file.ReadAt(0, head);
    if (!got) return Signature::Unreadable;
    return png::HasSignature(std::span(head).first(*got)) ? Signature::Png : Signature::Other;
}

class Walker {
public:
    Walker(Inputs& inputs, const UnreadableFn& unreadable) : inputs_(inputs), unreadable_(unreadable) {}

    void Folder(const Path& folder) {
        platform::OsError error = 0;
        std::optional<std::vector<platform::DirEntry>> entries = platform::ListDirectory(folder, error);
        if (!entries) return Unreadable(folder, error);
        std::sort(entries->begin(), entries->end(),
                  [](const platform::DirEntry& a, const platform::DirEntry& b) { return a.name < b.name; });
        for (const platform::DirEntry& entry : *entries) {
            const Path path = Join(folder, entry.name);
            if (entry.type == platform::EntryType::Directory) {
                Folder(path);
            } else if (entry.type == platform::EntryType::File) {
                switch (ReadSignature(path, error)) {
                    case Signature::Png: inputs_.files.push_back(path); break;
                    case Signature::Unreadable: Unreadable(path, error); break;
                    case Signature::Other: break;
                }
            } else if (entry.type == platform::EntryType::Unknown) {
                // It may be a PNG or a folder of them: never passed over in silence.
                Unreadable(path, entry.error);
            }
        }
    }

private:
    void Unreadable(const Path& path, platform::OsError error) {
        ++inputs_.unreadable;
        unreadable_(path, error);
    }

    Inputs& inputs_;
    const UnreadableFn& unreadable_;
};

}  // namespace

Inputs CollectInputs(const std::vector<Path>& operands, bool recursive, const UnreadableFn& unreadable) {
    Inputs inputs;
    Walker walker(inputs, unreadable);
    for (const Path& operand : operands) {
        if (recursive && platform::IsDirectory(operand)) {
            walker.Folder(operand);
        } else {
            inputs.files.push_back(operand);
        }
    }
    return inputs;
}

}  // namespace vexlo::cli
