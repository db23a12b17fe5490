// Every file vexlo writes goes through one writer: named beside its source by
// the window program's rule, created without ever replacing a file, written
// in pieces, and either committed whole or removed.
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "engine/engine.h"
#include "platform/platform.h"

namespace vexlo {

// One output beside a source: Choose() names it, Open() creates it, Write()
// appends pieces, Commit() ends it. Until Commit() succeeds nothing stays
// under an output name: a failed write, Discard() and the destructor remove
// what was written.
class OutputWriter {
public:
    // The first free name among NAME<suffix><extension>, NAME<suffix>(1)<extension>
    // .. NAME<suffix>(100)<extension> beside `source` (MakeOutFileName):
    // resDONE with Name() set, or resNONAME. An output begun before is discarded.
    ProcessResult Choose(const platform::Path& source, std::string_view suffix, std::string_view extension);

    // Creates the output's temporary beside the chosen name: resDONE or resNOWRITE.
    ProcessResult Open();

    // Appends a piece; false once a write failed, which removes the output at once.
    bool Write(std::span<const std::uint8_t> piece);

    // Claims the chosen name for the written output, or the next free one
    // when another file took it since it was chosen. resDONE: every piece is
    // in the output under Name(). resNONAME (Name() then empty) or
    // resNOWRITE: nothing is left.
    ProcessResult Commit();

    void Discard();

    // The chosen name; once committed, the output's.
    const platform::Path& Name() const { return name_; }

private:
    platform::Path FreeName() const;
    // Commit() but for the Keep(): the claimed output is still removed by
    // Discard(), so outputs that go together can be claimed all or none.
    ProcessResult Claim();
    friend ProcessResult CommitAll(std::span<OutputWriter> outputs);

    platform::Path source_;
    std::string suffix_;
    std::string extension_;
    platform::Path name_;
    // Names an exclusive create found taken although the existence test
    // called them free (a dangling link, a race): never offered again.
    std::vector<platform::Path> refused_;
    platform::NewFile file_;
};

// Commits outputs that go together (the recovery's two pictures), called
// once every one of them is written: all of them, or, with the result of the
// first that fails, none (those claimed before are removed again).
ProcessResult CommitAll(std::span<OutputWriter> outputs);

}  // namespace vexlo
