# The two commands of the README:
#   make demo   run vexlo on the bundled sample
#   make test   run every test, natively and under Wine
# Both install what is missing first, then configure and build.
.PHONY: measure-window all setup install deb native win32 win64 asan fuzz-build test test-native test-windows test-asan demo dist bench bench-peers fuzz clean

all: native win32 win64

setup:
	@./scripts/setup.sh

# One preset's build each; fuzz-build builds the fuzz preset.
native win32 win64 asan fuzz-build: setup
	cmake --preset $(@:-build=) >/dev/null
	cmake --build --preset $(@:-build=)

# FUZZ_SECONDS=600 by default, per target.
fuzz: fuzz-build
	./scripts/fuzz.sh

test-native: native
	ctest --preset native -j2

# x64 always, x86 where the kernel runs 32-bit programs (VEXLO_NO_X86=1: never).
test-windows: win32 win64
	./scripts/test-windows.sh

test-asan: asan
	ctest --preset asan -j2

test: test-native test-asan test-windows

demo: setup
	./scripts/demo.sh

# dist/vexlo-VERSION-x86.zip and -x64.zip: both programs and readme.txt.
dist: setup
	./scripts/dist.py

# vexlo-cli on Linux: the program, its manual, its bash completion and the
# README under PREFIX (DESTDIR is honoured), or as dist/vexlo-cli_VERSION_ARCH.deb.
PREFIX ?= /usr/local
install: setup
	cmake --preset native >/dev/null
	cmake --build --preset native --target vexlo-cli
	cmake --install build/native --prefix "$(PREFIX)"

deb: setup
	./scripts/deb.py

bench: native
	./scripts/bench.sh

# Size, start-up cost, hop time and batch overhead of vexlo.exe under Wine.
measure-window: setup
	./scripts/measure-window.sh

# vexlo-cli beside pngcheck, exiftool, binwalk and foremost on 1,000 PNGs;
# installs the peers, builds what it needs, writes build/peers/report.md.
bench-peers:
	./scripts/bench-peers.sh

# vexlo-cli --recover on cropped screenshots saved over their originals:
# makes the corpus, writes build/recover/report.md (a few minutes).
.PHONY: bench-recover
bench-recover:
	./scripts/bench-recover.sh

clean:
	rm -rf build
