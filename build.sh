#!/usr/bin/env bash
# The project's entry point on a Debian machine.
#   ./build.sh test    install what is missing, check the sources' format, then
#                      build and run every test twice: a normal build (g++) and
#                      an AddressSanitizer + UBSan build (clang, which also runs
#                      the libFuzzer targets); clang-tidy checks the sources
#                      with the clang build's compile commands
#   ./build.sh run     build and start the client on the demo content (or an
#                      empty profile); add --no-browser to get its address printed
#   ./build.sh build   build the normal configuration only
#   ./build.sh package build the normal configuration and the Debian package
#                      (build/release/package/kalimor_VERSION_ARCH.deb), then
#                      check it with lintian
set -euo pipefail
cd "$(dirname "$0")"

jobs=$(nproc 2>/dev/null || echo 2)

configure_and_build() { # DIR [cmake options...]
  local dir=$1; shift
  cmake -S . -B "$dir" -G Ninja -DKALIMOR_WERROR=ON "$@" >/dev/null
  cmake --build "$dir" --parallel "$jobs"
}

run_tests() { # DIR
  ctest --test-dir "$1" --output-on-failure --parallel "$jobs" --timeout 600
}

build_release() {
  configure_and_build build/release -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_C_COMPILER=gcc -DCMAKE_CXX_COMPILER=g++
}

case "${1:-}" in
  test)
    scripts/install-deps
    echo "== format of the sources (.clang-format)"
    scripts/check-format
    echo "== normal build (g++)"
    build_release
    run_tests build/release
    echo "== AddressSanitizer + UndefinedBehaviorSanitizer build (clang, libFuzzer)"
    configure_and_build build/asan -DCMAKE_BUILD_TYPE=Debug -DKALIMOR_SANITIZE=ON \
      -DKALIMOR_BENCH=OFF -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++
    echo "== clang-tidy (.clang-tidy, every warning an error)"
    scripts/check-tidy build/asan
    ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 \
      run_tests build/asan
    echo "== all tests passed in both builds"
    ;;
  run)
    scripts/install-deps
    build_release
    scripts/run-demo build/release "${@:2}"
    ;;
  build)
    build_release
    ;;
  package)
    scripts/install-deps package
    build_release
    rm -rf build/release/package
    (cd build/release && cpack -G DEB)
    deb=$(echo build/release/package/kalimor_*.deb)
    echo "== lintian $deb"
    lintian --fail-on error "$deb"
    echo "== package: $deb"
    ;;
  *)
    sed -n '2,13p' "$0" | sed 's/^# \{0,1\}//'
    exit 2
    ;;
esac
