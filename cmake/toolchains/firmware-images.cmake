# The toolchain of the firmware images: clang generating PE/COFF objects for the UEFI machine types and
# lld-link linking them. The images are built inside the 64-bit host tree (firmware/CMakeLists.txt) from the
# module sources; this file says which programs and flags they are built with.
find_program(FIRMWARE_CLANG NAMES clang-14 clang)
find_program(FIRMWARE_LLD_LINK NAMES lld-link-14 lld-link)

# Target triples: the DXE driver is x86-64 code, the PEI module IA-32 code, both in the PE/COFF format.
set(FIRMWARE_DXE_TRIPLE x86_64-w64-windows-gnu)
set(FIRMWARE_PEI_TRIPLE i686-w64-windows-gnu)

# Smallest code: the images have size budgets, and their time goes into hardware accesses, not instructions.
set(FIRMWARE_OPTIMIZATION -Oz CACHE STRING "Optimisation flags of the firmware images (a list)")

# Freestanding code for a PE/COFF target: no C library headers, no unwind tables or stack probes, GCC's
# bit-field layout (as in the host builds the tests run), one section per function and object so the linker
# drops what nothing references. A constructor or destructor of static storage is an error: no start-up
# code exists to run it. Other warnings are errors in the host build of the same sources; here clang's
# additional ones are shown without failing the image.
set(FIRMWARE_COMPILE_FLAGS
    -std=c++20 ${FIRMWARE_OPTIMIZATION} ${MODULE_FLAGS} -nostdlibinc -fno-unwind-tables -fno-stack-protector
    -mno-stack-arg-probe -mno-ms-bitfields -ffunction-sections -fdata-sections
    -Wall -Wextra -Werror=global-constructors -Werror=exit-time-destructors)
# No C library, unreferenced sections dropped, no folding of identical functions (their addresses stay
# distinct), and a zero time stamp so the same sources give the same bytes.
set(FIRMWARE_LINK_FLAGS /nologo /nodefaultlib /subsystem:efi_boot_service_driver /opt:ref /opt:noicf /timestamp:0)
