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

Signature ReadSignature(const Path& path) {
    platform::SourceFile file;
    if (!file.Open(path)) return Signature::Unreadable;
    std::array<std::uint8_t, png::kSignature.size()> head{};
    const std::optional<std::size_t> got = file.ReadAt(0, head);
    if (!got) return Signature::Unreadable;
    return png::HasSignature(std::span(head).first(*got)) ? Signature::Png : Signature::Other;
}

class Walker {
public:
    Walker(Inputs& inputs, const std::function<void(const Path&)>& unreadable)
        : inputs_(inputs), unreadable_(unreadable) {}

    void Folder(const Path& folder) {
        std::optional<std::vector<platform::DirEntry>> entries = platform::ListDirectory(folder);
        if (!entries) return Unreadable(folder);
        std::sort(entries->begin(), entries->end(),
                  [](const platform::DirEntry& a, const platform::DirEntry& b) { return a.name < b.name; });
        for (const platform::DirEntry& entry : *entries) {
            const Path path = Join(folder, entry.name);
            if (entry.type == platform::EntryType::Directory) {
                Folder(path);
            } else if (entry.type == platform::EntryType::File) {
                switch (ReadSignature(path)) {
                    case Signature::Png: inputs_.files.push_back(path); break;
                    case Signature::Unreadable: Unreadable(path); break;
                    case Signature::Other: break;
                }
            }
        }
    }

private:
    void Unreadable(const Path& path) {
        ++inputs_.unreadable;
        unreadable_(path);
    }

    Inputs& inputs_;
    const std::function<void(const Path&)>& unreadable_;
};

}  // namespace

Inputs CollectInputs(const std::vector<Path>& operands, bool recursive,
                     const std::function<void(const Path&)>& unreadable) {
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
