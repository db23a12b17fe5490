// Prints TrailerKind's word for each file named, one line each, as if the
// whole file were a trailer. Reads in pieces of a prime size so that chunk
// headers and characters straddle the pieces, as they will in an extraction.
#include <array>
#include <cstdio>
#include <fstream>
#include <iostream>

#include "engine/trailer_kind.h"

int main(int argc, char** argv) {
    int status = 0;
    for (int i = 1; i < argc; ++i) {
        std::ifstream file(argv[i], std::ios::binary);
        if (!file) {
            std::cerr << argv[i] << ": cannot open\n";
            status = 1;
            continue;
        }
        vexlo::TrailerKind kind;
        std::array<char, 4093> piece{};
        while (file.read(piece.data(), piece.size()) || file.gcount() > 0) {
            const auto count = static_cast<std::size_t>(file.gcount());
            kind.Feed({reinterpret_cast<const std::uint8_t*>(piece.data()), count});
        }
        std::cout << kind.Kind() << '\n';
    }
    return status;
}
