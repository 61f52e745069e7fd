# Debian packages the build and the tests need; sourced by the scripts.
BUILD_PACKAGES=(cmake make g++ qtbase5-dev qtbase5-dev-tools libqt5sql5-sqlite)
# The archive tests run against a real PostgreSQL server.
TEST_PACKAGES=(poppler-utils g++-mingw-w64-x86-64 wine64 postgresql libqt5sql5-psql)
# libFuzzer and the sanitizer runtimes of clang, for scripts/fuzz.
FUZZ_PACKAGES=(clang libclang-rt-14-dev)
