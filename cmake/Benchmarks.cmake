# The benchmark program (ORVEL_BENCHMARKS=ON): Google Benchmark, with FFTW (single precision) as the
# reference for the cost of a transform pair. Neither is needed by the plug-in or the tests.

if(NOT ORVEL_BENCHMARKS)
    return()
endif()

if(NOT ORVEL_WITH_JUCE)
    message(FATAL_ERROR "ORVEL_BENCHMARKS needs ORVEL_WITH_JUCE (the processor is measured too)")
endif()

find_package(benchmark REQUIRED)
find_package(PkgConfig REQUIRED)
pkg_check_modules(ORVEL_FFTWF REQUIRED IMPORTED_TARGET fftw3f)

add_subdirectory(benchmarks)
