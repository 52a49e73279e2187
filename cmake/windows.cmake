# How a saver is built for Windows. It links no C runtime and no compiler runtime DLL: its own
# entry (startup/entry.cpp) stands where MinGW-w64's start-up files would, and it imports from the
# four system DLLs only, so it starts on every 32-bit Windows as the system ships, Windows 95
# included. The compiler's own helpers, should the code ever need one, come from the static libgcc.
enable_language(RC)

if(CMAKE_SYSTEM_PROCESSOR STREQUAL "i686")
    set(SAVER_GUARD ${PROJECT_SOURCE_DIR}/startup/exception_guard_i686.cpp)
else()
    set(SAVER_GUARD ${PROJECT_SOURCE_DIR}/startup/exception_guard_x86_64.cpp)
endif()

# No C++ runtime feature is used. The program's entry is WinMainCRTStartup, the linker's default
# entry for a GUI program.
set(SAVER_WINDOWS_COMPILE -fno-exceptions -fno-rtti -fno-threadsafe-statics -fno-stack-protector)
# Patching a DLL's data into the image at start-up is the C runtime's work too; without it, code
# that would need it fails the link (no _pei386_runtime_relocator), so it cannot slip in.
set(SAVER_WINDOWS_LINK -mwindows -nostartfiles -nodefaultlibs -s)
set(SAVER_WINDOWS_LIBRARIES kernel32 user32 gdi32 advapi32 gcc)
if(CMAKE_SYSTEM_PROCESSOR STREQUAL "i686")
    # The i686 guard is a frame on the FS:[0] chain and needs no unwind tables; x86-64's guard is
    # table-based and needs them, so they stay there.
    list(APPEND SAVER_WINDOWS_COMPILE -fno-asynchronous-unwind-tables)
    # Subsystem 4.0, or the Windows 95 family refuses to load the program.
    list(APPEND SAVER_WINDOWS_LINK
        -Wl,--major-subsystem-version,4 -Wl,--minor-subsystem-version,0
        -Wl,--major-os-version,4 -Wl,--minor-os-version,0)
endif()
