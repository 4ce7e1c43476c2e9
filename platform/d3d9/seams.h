// The layer's side of the test seams (testing_d3d9.h) and the call log.
#pragma once

#include <string>

#include "testing_d3d9.h"

namespace d3d9 {
struct DrawCall;
}

namespace d3d9::seams {

bool Recording();
void Record(std::string call);
void RecordShadedDraw(const DrawCall& call);
std::string Format(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
// "null" or "#<id>".
std::string Id(unsigned serial);

unsigned NextSerial();

bool UseNull();
bool UseHeadless();
bool FailCreate9();
// The forced result of CreateDevice for a device of this kind, S_OK when none.
HRESULT CreateDeviceFailure(bool windowed);
HRESULT GetBackBufferFailure();
bool FailBufferCreation();
bool FailBufferLocks();

platform_testing::D3D9DeviceRecord& DeviceRecord();
platform_testing::D3D9BackBufferTransfers& BackBufferTransfers();
void Presented();

}  // namespace d3d9::seams
