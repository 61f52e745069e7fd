# Debian packages the build and the tests need; sourced by the scripts.
BUILD_PACKAGES=(cmake make g++ qtbase5-dev qtbase5-dev-tools)
TEST_PACKAGES=(poppler-utils g++-mingw-w64-x86-64 wine64)
# libFuzzer and the sanitizer runtimes of clang, for scripts/fuzz.
FUZZ_PACKAGES=(clang libclang-rt-14-dev)
