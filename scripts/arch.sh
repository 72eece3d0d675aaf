# Sourced by the other scripts: decides which build of Tarnwick this machine
# runs under Wine.
#   TARNWICK_ARCH  win32: the shipped 32-bit program, under 32-bit Wine;
#                  win64: its 64-bit twin, under 64-bit Wine.
#                  Set it to force one; otherwise win32 wherever the kernel
#                  runs 32-bit code, win64 where it runs none.
# Sets TARNWICK_ARCH, TARNWICK_ARCH_WHY (one line saying why) and
# TARNWICK_TREE (the build tree of that program). Expects $root.

# Some kernels have 32-bit emulation switched off, and then no 32-bit code
# runs at all, not even inside a 64-bit process. The one sure test is to run
# some: this is a complete 32-bit Linux program (ELF header, one loadable
# segment, then mov eax,1; mov ebx,42; int 0x80) that exits with 42.
runs_32bit_code()
{
    mkdir -p "$root/build"
    probe="$root/build/.runs-32bit-code"
    printf '\177\105\114\106\1\1\1\0\0\0\0\0\0\0\0\0' >"$probe"
    printf '\2\0\3\0\1\0\0\0\124\200\4\10\64\0\0\0\0\0\0\0\0\0\0\0\64\0\40\0\1\0\0\0\0\0\0\0' >>"$probe"
    printf '\1\0\0\0\0\0\0\0\0\200\4\10\0\200\4\10\140\0\0\0\140\0\0\0\5\0\0\0\0\20\0\0' >>"$probe"
    printf '\270\1\0\0\0\273\52\0\0\0\315\200' >>"$probe"
    chmod +x "$probe"
    status=0
    "$probe" 2>/dev/null || status=$?
    rm -f "$probe"
    [ "$status" = 42 ]
}

case "${TARNWICK_ARCH:-}" in
win32 | win64)
    TARNWICK_ARCH_WHY="TARNWICK_ARCH=$TARNWICK_ARCH asks for it" ;;
"")
    if runs_32bit_code; then
        TARNWICK_ARCH=win32
        TARNWICK_ARCH_WHY="this kernel runs 32-bit code"
    else
        TARNWICK_ARCH=win64
        TARNWICK_ARCH_WHY="this kernel runs no 32-bit code"
    fi ;;
*)
    echo "TARNWICK_ARCH must be win32 or win64, not '$TARNWICK_ARCH'" >&2
    exit 2 ;;
esac

if [ "$TARNWICK_ARCH" = win32 ]; then
    TARNWICK_TREE="$root/build"
else
    TARNWICK_TREE="$root/build/x64"
fi
export TARNWICK_ARCH
