// Unit Raster_Resamplers, the resampling kernels. Values are computed in single precision as the
// resamplers expect them; the intermediate powers are rounded to single.
#include "raster/RasterResamplers.h"

#include <cmath>
#include <numbers>

namespace raster {

namespace {

constexpr double Pi = std::numbers::pi;

float SinC(float Value) {
    if (Value == 0) return 1;
    const auto p = static_cast<float>(Pi * Value);
    return std::sin(p) / p;
}

} // namespace

void TCustomKernel::Assign(TPersistent* Source) {
    auto* kernel = dynamic_cast<TCustomKernel*>(Source);
    if (kernel == nullptr) {
        TNotifiablePersistent::Assign(Source);
        return;
    }
    for (const TKernelProperty& property : kernel->PublishedProperties())
        SetPublished(property.Name, property.Value);
}

float TBoxKernel::Filter(float Value) {
    return Value >= -0.5f && Value <= 0.5f ? 1.0f : 0.0f;
}

float TLinearKernel::Filter(float Value) {
    if (Value >= -1 && Value < 0) return 1 + Value;
    if (Value >= 0 && Value < 1) return 1 - Value;
    return 0;
}

float TCosineKernel::Filter(float Value) {
    if (std::abs(Value) >= 1) return 0;
    return static_cast<float>((std::cos(Pi * Value) + 1) / 2);
}

float TSplineKernel::Filter(float Value) {
    const float a = std::abs(Value);
    if (a < 1) {
        const float a2 = a * a;
        const float a3 = a2 * a;
        return a3 / 2 - a2 + 2.0f / 3;
    }
    if (a < 2) {
        const float t = 2 - a;
        return t * t * t / 6;
    }
    return 0;
}

float TMitchellKernel::Filter(float Value) {
    const float a = std::abs(Value);
    const float a2 = a * a;
    const float a3 = a2 * a;
    if (a < 1) return (7 * a3 - 12 * a2 + 16.0f / 3) / 6;
    if (a < 2) return (-7.0f / 3 * a3 + 12 * a2 - 20 * a + 32.0f / 3) / 6;
    return 0;
}

float TCubicKernel::Filter(float Value) {
    const float a = std::abs(Value);
    const float a2 = a * a;
    const float a3 = a2 * a;
    if (a < 1) return a3 * (FCoeff + 2) - a2 * (FCoeff + 3) + 1;
    if (a < 2) return FCoeff * (a3 - 5 * a2 + 8 * a - 4);
    return 0;
}

std::vector<TKernelProperty> TCubicKernel::PublishedProperties() const {
    return {{"Coeff", FCoeff}};
}

void TCubicKernel::SetPublished(std::string_view Name, float Value) {
    if (Name == "Coeff") SetCoeff(Value);
}

float THermiteKernel::Filter(float Value) {
    const auto z = static_cast<int32_t>(std::floor(Value));
    const float t = Value - static_cast<float>(z);
    const float t2 = t * t;
    const float t3 = t2 * t;
    const float tc = (1 - FTension) / 2;
    const float tb1 = tc * (1 - FBias);
    const float tb2 = tc * (1 + FBias);
    const float a = t3 - 2 * t2 + t;
    const float b = t3 - t2;
    const float c = 3 * t2 - 2 * t3;
    switch (z) {
    case -2: return b * tb1;
    case -1: return a * tb1 + c + (tb2 - tb1) * b;
    case 0: return (tb2 - tb1) * a + (1 - c) - b * tb2;
    case 1: return -a * tb2;
    default: return 0;
    }
}

std::vector<TKernelProperty> THermiteKernel::PublishedProperties() const {
    return {{"Bias", FBias}, {"Tension", FTension}};
}

void THermiteKernel::SetPublished(std::string_view Name, float Value) {
    if (Name == "Bias") SetBias(Value);
    if (Name == "Tension") SetTension(Value);
}

float TSinshKernel::Filter(float Value) {
    if (Value == 0) return 1;
    return static_cast<float>(std::sin(Pi * Value) * FCoeff / std::sinh(Pi * FCoeff * Value));
}

void TSinshKernel::SetCoeff(float Value) {
    if (Value != 0) FCoeff = Value;
}

std::vector<TKernelProperty> TSinshKernel::PublishedProperties() const {
    return {{"Width", FWidth}, {"Coeff", FCoeff}};
}

void TSinshKernel::SetPublished(std::string_view Name, float Value) {
    if (Name == "Width") SetWidth(Value);
    if (Name == "Coeff") SetCoeff(Value);
}

float TWindowedSincKernel::Filter(float Value) {
    Value = std::abs(Value);
    if (Value >= Width) return 0;
    const float window = Window(Value);
    return window * SinC(Value);
}

std::vector<TKernelProperty> TWindowedSincKernel::PublishedProperties() const {
    return {{"Width", Width}};
}

void TWindowedSincKernel::SetPublished(std::string_view Name, float Value) {
    if (Name == "Width") SetWidth(Value);
}

float TLanczosKernel::Window(float Value) {
    return SinC(Value / Width);
}

float TGaussianKernel::Window(float Value) {
    return static_cast<float>(std::exp2(-Value * Value / FSigma));
}

void TGaussianKernel::SetSigma(float Value) {
    if (Value != 0) FSigma = Value;
}

std::vector<TKernelProperty> TGaussianKernel::PublishedProperties() const {
    return {{"Width", Width}, {"Sigma", FSigma}};
}

void TGaussianKernel::SetPublished(std::string_view Name, float Value) {
    TWindowedSincKernel::SetPublished(Name, Value);
    if (Name == "Sigma") SetSigma(Value);
}

float TBlackmanKernel::Window(float Value) {
    const double x = Value / Width;
    return static_cast<float>(0.42 + 0.5 * std::cos(Pi * x) + 0.08 * std::cos(2 * Pi * x));
}

float THannKernel::Window(float Value) {
    return static_cast<float>(0.5 + 0.5 * std::cos(Pi * (Value / Width)));
}

float THammingKernel::Window(float Value) {
    return static_cast<float>(0.54 + 0.46 * std::cos(Pi * (Value / Width)));
}

} // namespace raster
