// The system's sound device, one class per platform with one interface (see
// sdl_device_output.h): SDL2 on POSIX systems, WinMM's waveOut on Windows.
#pragma once

#ifdef _WIN32
#include "output/waveout_device_output_win32.h"
namespace opl2 {
using DeviceOutput = WaveOutDeviceOutput;
}  // namespace opl2
#else
#include "output/sdl_device_output.h"
namespace opl2 {
using DeviceOutput = SdlDeviceOutput;
}  // namespace opl2
#endif
