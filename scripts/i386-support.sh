# Sourced by scripts/setup.sh and tests/wine/wine-prefix.sh: how this machine runs 32-bit (i386)
# Linux programs, which is how it runs Wine's 32-bit loader and so the PE32 image. Some kernels
# run them natively; others have 32-bit support switched off at boot, and there qemu's user-mode
# emulator, registered with the kernel through binfmt_misc, runs them instead.
#   i386_mode      prints native, emulated or none
#   i386_how       the same for a person: native, "emulated with qemu 10.0" or none
#   i386_handler   prints the binfmt_misc entry that takes i386 programs, if one is enabled
#   i386_runs, i386_runs_natively: whether 32-bit programs run at all, and without an emulator
#   i386_register_qemu QEMU_PATH: registers the emulator for i386 programs (root)
#   i386_emulator_version: the registered emulator's version, e.g. 10.0

I386_BINFMT=/proc/sys/fs/binfmt_misc
I386_HANDLER_NAME=qemu-i386
# The start of an i386 ELF executable's header and the bits of it that must match: class 32-bit,
# little-endian, version 1, any OS ABI, type executable or shared object, machine 386.
I386_ELF_MAGIC='\x7f\x45\x4c\x46\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
I386_ELF_MASK='\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'
# The same magic as binfmt_misc shows it in an entry's "magic" line.
I386_ELF_MAGIC_SHOWN=7f454c4601010100000000000000000002000300

# A 32-bit program of 96 bytes that ends at once with exit code 42: an ELF header, one loadable
# segment (the whole file, at 0x08048000) and the code: mov eax,1; mov ebx,42; int 0x80.
i386_write_probe() {
    {
        printf '\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00'   # ident
        printf '\x02\x00\x03\x00\x01\x00\x00\x00'                           # executable, 386, v1
        printf '\x54\x80\x04\x08\x34\x00\x00\x00\x00\x00\x00\x00'           # entry, ph at 52, no sh
        printf '\x00\x00\x00\x00\x34\x00\x20\x00\x01\x00\x00\x00\x00\x00\x00\x00'
        printf '\x01\x00\x00\x00\x00\x00\x00\x00\x00\x80\x04\x08\x00\x80\x04\x08'  # PT_LOAD
        printf '\x60\x00\x00\x00\x60\x00\x00\x00\x05\x00\x00\x00\x00\x10\x00\x00'  # r-x
        printf '\xb8\x01\x00\x00\x00\xbb\x2a\x00\x00\x00\xcd\x80'
    } >"$1"
    chmod +x "$1"
}

# Runs the probe; true when it ended with its own code.
i386_runs() {
    local probe status
    probe=$(mktemp)
    i386_write_probe "$probe"
    "$probe" 2>/dev/null
    status=$?
    rm -f "$probe"
    [ "$status" -eq 42 ]
}

# Where binfmt_misc is not mounted no handler can be seen (nor registered): it is mounted first,
# as root.
i386_handler() {
    local entry
    if [ ! -f "$I386_BINFMT/status" ] && [ "$(id -u)" -eq 0 ]; then
        mount -t binfmt_misc binfmt_misc "$I386_BINFMT" 2>/dev/null
    fi
    [ -f "$I386_BINFMT/status" ] || return 0
    for entry in "$I386_BINFMT"/*; do
        case "$(basename "$entry")" in register | status) continue ;; esac
        if grep -qx enabled "$entry" 2>/dev/null &&
            grep -q "^magic $I386_ELF_MAGIC_SHOWN" "$entry" 2>/dev/null; then
            basename "$entry"
            return 0
        fi
    done
}

# The kernel asks binfmt_misc before its own ELF loader, so with a handler registered every i386
# program goes to the emulator. Whether the kernel itself could run it is asked with the handler
# switched off for the moment of the probe (which needs root).
i386_runs_natively() {
    local handler status
    handler=$(i386_handler)
    if [ -z "$handler" ]; then
        i386_runs
        return
    fi
    echo 0 >"$I386_BINFMT/$handler" 2>/dev/null || return 1
    i386_runs
    status=$?
    echo 1 >"$I386_BINFMT/$handler"
    return $status
}

i386_mode() {
    if ! i386_runs; then
        echo none
    elif [ -n "$(i386_handler)" ]; then
        echo emulated
    else
        echo native
    fi
}

i386_how() {
    local mode
    mode=$(i386_mode)
    if [ "$mode" = emulated ]; then
        echo "emulated with qemu $(i386_emulator_version)"
    else
        echo "$mode"
    fi
}

i386_emulator_version() {
    local handler interpreter
    handler=$(i386_handler)
    [ -n "$handler" ] || return 0
    interpreter=$(sed -n 's/^interpreter //p' "$I386_BINFMT/$handler")
    "$interpreter" --version 2>/dev/null | sed -n '1s/.* version \([0-9]*\.[0-9]*\).*/\1/p'
}

# Flag F opens the interpreter now, so it is found from inside any later mount namespace or
# chroot (Wine's loader starts helper processes of its own, which must find it too).
i386_register_qemu() {
    if [ ! -f "$I386_BINFMT/status" ]; then
        mount -t binfmt_misc binfmt_misc "$I386_BINFMT" || return 1
    fi
    if [ -e "$I386_BINFMT/$I386_HANDLER_NAME" ]; then
        echo -1 >"$I386_BINFMT/$I386_HANDLER_NAME" || return 1
    fi
    printf ':%s:M::%s:%s:%s:F\n' "$I386_HANDLER_NAME" "$I386_ELF_MAGIC" "$I386_ELF_MASK" "$1" \
        >"$I386_BINFMT/register"
}
