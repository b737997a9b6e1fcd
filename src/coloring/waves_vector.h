#pragma once

namespace zr {

// The sine the wave colours take, four at a time on the processor's vector unit, for arguments
// of magnitude up to kVectorSineLimit (others give a result that is not a number). It agrees
// with std::sin to within kVectorSineError; the wave colouring checks each result's distance
// from every rounding edge against that, so its bytes are those of std::sin however close.
inline constexpr double kVectorSineLimit = 67108864.0;  // 2^26
inline constexpr double kVectorSineError = 4.5e-16;

// True when the processor runs the vector code (AVX2 with fused multiply-adds).
bool vectorSineAvailable();

// out[i] = the vector sine of x[i] for i < count. Needs vectorSineAvailable().
void vectorSine(const double* x, double* out, int count);

}  // namespace zr
