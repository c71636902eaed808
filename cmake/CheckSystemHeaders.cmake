# cmake -D SOURCE_DIR=<tree> -P CheckSystemHeaders.cmake
# Fails when a source file other than geometry/Platform.cpp includes a header of the operating
# system (POSIX or Windows): every call to the system goes through that one unit, so that the
# program builds for both. A few test and benchmark programs drive child processes themselves and
# are listed below with their reason; they are never built for Windows.
cmake_minimum_required(VERSION 3.25)
if(NOT SOURCE_DIR)
    message(FATAL_ERROR "SOURCE_DIR not set")
endif()

set(allowed
    # the platform unit itself
    geometry/Platform.cpp
    # kill tests: fork a writer, kill it mid-flush, wait for it
    tests/database/engine/ChildProcess.cpp
    tests/database/formats/ShapefileCrashTest.cpp
    # reads the exit status of the command-line program run by std::system
    tests/app/CliTestSupport.cpp
    # measures the peak memory of each child run (fork, exec, wait4)
    bench/bench_shapefile.cpp)

# POSIX headers with no place in the C++ standard library, and the Windows API's.
set(system_headers
    "sys/[^>]+" "arpa/[^>]+" "netinet/[^>]+" "mach/[^>]+" unistd fcntl dirent termios pwd grp
    dlfcn poll pthread spawn utime
    windows winbase windef winnt winioctl winuser wincon winsock2 ws2tcpip shlobj shellapi
    shlwapi objbase io direct process conio)
list(JOIN system_headers "|" alternatives)
set(pattern "#[ \t]*include[ \t]*<(${alternatives})(\\.h)?>")

set(offenders "")
foreach(folder geometry transformation database project forms app tests bench fuzz tools)
    file(GLOB_RECURSE sources RELATIVE "${SOURCE_DIR}"
         "${SOURCE_DIR}/${folder}/*.h" "${SOURCE_DIR}/${folder}/*.hpp"
         "${SOURCE_DIR}/${folder}/*.cpp" "${SOURCE_DIR}/${folder}/*.cc")
    foreach(source ${sources})
        if(source IN_LIST allowed)
            continue()
        endif()
        file(STRINGS "${SOURCE_DIR}/${source}" lines REGEX "${pattern}")
        foreach(line ${lines})
            string(STRIP "${line}" line)
            list(APPEND offenders "${source}: ${line}")
        endforeach()
    endforeach()
endforeach()

# The unit must still be there, or the check would pass on an empty tree.
if(NOT EXISTS "${SOURCE_DIR}/geometry/Platform.cpp")
    list(APPEND offenders "geometry/Platform.cpp is missing")
endif()

if(offenders)
    list(JOIN offenders "\n  " text)
    message(FATAL_ERROR "System headers outside geometry/Platform.cpp (call the system through "
                        "geometry/Platform.h instead):\n  ${text}")
endif()
message(STATUS "No system header outside geometry/Platform.cpp")
