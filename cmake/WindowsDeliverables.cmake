# How the deliverables are built for Windows: as system components of the
# Windows 9x era, without a C runtime. They link with -nostdlib against the
# project's own small runtime (wincrt/), import only from the system's
# libraries, carry no thread-local storage, ask for Windows 4.0, and are
# stripped. scripts/build-windows.sh checks the result.

# No exceptions or run-time type information to support; a failed new gives
# NULL instead of throwing.
add_compile_options(-fno-exceptions -fno-rtti -fcheck-new)
# Only the libraries each deliverable names, not the compiler's usual set.
set(CMAKE_C_STANDARD_LIBRARIES "")
set(CMAKE_CXX_STANDARD_LIBRARIES "")
add_link_options(
  -nostdlib -s
  # Windows 95, 98 and Me load nothing that asks for a later version.
  -Wl,--major-os-version,4,--minor-os-version,0
  -Wl,--major-subsystem-version,4,--minor-subsystem-version,0
  # Data imported without the import marking would need a runtime to patch
  # the references at load time; refuse it at link time instead.
  -Wl,--disable-auto-import,--disable-runtime-pseudo-reloc
  # The same sources give the same files.
  -Wl,--no-insert-timestamp)

if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  # Windows 98 runs on a 486: no instructions of later processors (the
  # compiler's default, the Pentium Pro, brings conditional moves). Without
  # exceptions the frame unwinding tables of 32-bit code serve nothing.
  add_compile_options(-march=i486 -fno-asynchronous-unwind-tables -fno-unwind-tables)
  # 32-bit symbol names carry a leading underscore, and stdcall ones their
  # argument size.
  set(OVL_EXE_ENTRY _WinMainCRTStartup)
  set(OVL_DLL_ENTRY _DllMainCRTStartup@12)
else()
  set(OVL_EXE_ENTRY WinMainCRTStartup)
  set(OVL_DLL_ENTRY DllMainCRTStartup)
endif()

# ovl_windows_deliverable(<target> DESCRIPTION <text> LIBRARIES <lib>...)
# Makes <target> (a library or a program already added) a deliverable: the
# runtime's start-up as its entry, the system libraries it imports from, and
# a version resource with the description and the project's version.
function(ovl_windows_deliverable target)
  cmake_parse_arguments(ARG "" "DESCRIPTION" "LIBRARIES" ${ARGN})
  get_target_property(type ${target} TYPE)
  if(type STREQUAL "SHARED_LIBRARY")
    set(entry ${OVL_DLL_ENTRY})
    set(OVL_FILE_TYPE VFT_DLL)
    set(suffix .dll)
  else()
    set(entry ${OVL_EXE_ENTRY})
    set(OVL_FILE_TYPE VFT_APP)
    set(suffix .exe)
  endif()
  set(OVL_INTERNAL_NAME ${target})
  set(OVL_FILE_NAME ${target}${suffix})
  set(OVL_FILE_DESCRIPTION "${ARG_DESCRIPTION}")
  configure_file(${PROJECT_SOURCE_DIR}/cmake/version.rc.in ${CMAKE_CURRENT_BINARY_DIR}/${target}_version.rc @ONLY)
  target_sources(${target} PRIVATE ${CMAKE_CURRENT_BINARY_DIR}/${target}_version.rc)
  target_link_options(${target} PRIVATE -Wl,-e,${entry})
  # The runtime after the deliverable's objects, the system libraries after
  # the runtime.
  target_link_libraries(${target} PRIVATE wincrt ${ARG_LIBRARIES} kernel32)
endfunction()
