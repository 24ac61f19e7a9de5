// Colour of camera-raw pictures. Averages divide only by positive counts and the white level
// stays above the black level, so a picture of zeros or a balance block without some colour
// gives no infinities.
#include "imaging/formats/cameraraw/VLRawColour.h"

#include "imaging/formats/cameraraw/VLCameraRaw.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

// Red, green, blue response of the four sensor colours green, magenta, cyan, yellow.
constexpr double CmygResponse[4][3] = {
    {0.11, 0.86, 0.08}, {0.5, 0.29, 0.51}, {0.11, 0.92, 0.75}, {0.81, 0.98, 0.08}};

void SetCoeff(TVLCameraRawContext& Context, const float (&Matrix)[3][4]) {
    std::memcpy(Context.Coeff, Matrix, sizeof(Context.Coeff));
    Context.UseCoeff = true;
}

// The white level as a sample: a Kodak curve can put it above what 16 bits hold.
double SampleCeiling(const TVLCameraRawContext& Context) {
    return std::min(Context.Maximum, 65535);
}

// V limited to 0 .. High; not-a-number (from options such as a scale of NaN) counts as 0.
double Limited(double V, double High) {
    return V > 0 ? (V < High ? V : High) : 0;
}

int64_t CellCount(const TVLCameraRawContext& Context) {
    return Context.Image ? int64_t{std::max(Context.Height, 0)} * std::max(Context.Width, 0) : 0;
}

// Multipliers top / avg for every colour with a positive average; the others keep theirs.
void ApplyAverages(TVLCameraRawContext& Context, const double (&Sum)[4], const int64_t (&Count)[4]) {
    double avg[4] = {};
    double top = 0;
    for (int32_t c = 0; c < Context.Colors && c < 4; ++c) {
        if (Count[c] > 0) avg[c] = Sum[c] / static_cast<double>(Count[c]);
        top = std::max(top, avg[c]);
    }
    for (int32_t c = 0; c < Context.Colors && c < 4; ++c)
        if (avg[c] > 0) Context.PreMul[c] = static_cast<float>(top / avg[c]);
}

void AutoBalance(TVLCameraRawContext& Context) {
    double sum[4] = {};
    int64_t count[4] = {};
    const int64_t cells = CellCount(Context);
    const int32_t colors = std::min(Context.Colors, 4);
    for (int64_t i = 0; i < cells; ++i)
        for (int32_t c = 0; c < colors; ++c) {
            const int32_t v = Context.Image[i][c];
            if (v == 0 || v - Context.Black > Context.Maximum - 100) continue;
            sum[c] += std::max(v - Context.Black, 0);
            ++count[c];
        }
    ApplyAverages(Context, sum, count);
}

void CameraBalance(TVLCameraRawContext& Context) {
    double sum[4] = {};
    int64_t count[4] = {};
    for (int32_t row = 0; row < 8; ++row)
        for (int32_t col = 0; col < 8; ++col) {
            const int32_t c = FilterColor(Context.Filters, row, col);
            ++count[c];
            const int32_t v = Context.White[row][col] - Context.Black;
            if (v > 0) sum[c] += v;
        }
    double low = 1.7e308;
    double top = 0;
    bool counted = false;
    for (int32_t c = 0; c < Context.Colors && c < 4; ++c) {
        if (count[c] == 0) continue;
        const double avg = sum[c] / static_cast<double>(count[c]);
        low = std::min(low, avg);
        top = std::max(top, avg);
        counted = true;
    }
    if (counted && low > 0) {
        ApplyAverages(Context, sum, count);
    } else if (Context.CameraRed != 0 && Context.CameraBlue != 0) {
        Context.PreMul[0] = Context.CameraRed;
        Context.PreMul[1] = 1;
        Context.PreMul[2] = Context.CameraBlue;
        Context.PreMul[3] = 1;
    }
}

// The neighbour list of one of the 16 position classes of the filter tile.
struct TVngCode {
    int64_t Offset = 0;  // in samples from the cell's first sample
    int32_t Shift = 0;
    int32_t Color = 0;
};

struct TVngClass {
    TVngCode Neighbours[8];
    int32_t Colors[3] = {};
    int32_t Weights[3] = {};
    int32_t ColorCount = 0;
};

TVngClass MakeVngClass(const TVLCameraRawContext& Context, int32_t Row, int32_t Col) {
    TVngClass result;
    int32_t weight[4] = {};
    int32_t n = 0;
    for (int32_t y = -1; y <= 1; ++y)
        for (int32_t x = -1; x <= 1; ++x) {
            if (y == 0 && x == 0) continue;
            const int32_t color = FilterColor(Context.Filters, Row + y, Col + x);
            const int32_t shift = (y == 0 || x == 0) ? 1 : 0;
            result.Neighbours[n++] = {(int64_t{Context.Width} * y + x) * 4 + color, shift, color};
            weight[color] += 1 << shift;
        }
    const int32_t own = FilterColor(Context.Filters, Row, Col);
    for (int32_t c = 0; c < Context.Colors && c < 4; ++c)
        // A colour missing from the neighbourhood has nothing to average: it stays as loaded.
        if (c != own && weight[c] > 0 && result.ColorCount < 3) {
            result.Colors[result.ColorCount] = c;
            result.Weights[result.ColorCount++] = weight[c];
        }
    return result;
}

} // namespace

void cmyg_coefficients(TVLCameraRawContext& Context) {
    std::memset(Context.Coeff, 0, sizeof(Context.Coeff));
    for (int32_t left = 0; left < 4; ++left) {
        double work[3][6] = {};
        int32_t colors[3];
        for (int32_t j = 0, k = 0; k < 4; ++k)
            if (k != left) colors[j++] = k;
        for (int32_t j = 0; j < 3; ++j) {
            for (int32_t r = 0; r < 3; ++r) work[j][r] = CmygResponse[colors[j]][r];
            work[j][3 + j] = 1;
        }
        for (int32_t j = 0; j < 3; ++j) {
            const double pivot = work[j][j];
            for (double& v : work[j]) v /= pivot;
            for (int32_t k = 0; k < 3; ++k) {
                if (k == j) continue;
                const double factor = work[k][j];
                for (int32_t i = 0; i < 6; ++i) work[k][i] -= factor * work[j][i];
            }
        }
        for (int32_t j = 0; j < 3; ++j)
            for (int32_t r = 0; r < 3; ++r)
                Context.Coeff[r][colors[j]] += static_cast<float>(work[r][3 + j]);
    }
    for (auto& row : Context.Coeff) {
        const float sum = row[0] + row[1] + row[2] + row[3];
        for (float& v : row) v /= sum;
    }
    Context.UseCoeff = true;
}

void coeff_nikon_e950(TVLCameraRawContext& Context) {
    static const float Matrix[3][4] = {{-1.93628f, 1.800443f, -1.448486f, 2.584324f},
                                       {1.405365f, -0.524955f, -0.28909f, 0.40868f},
                                       {-1.204965f, 1.082304f, 2.941367f, -1.818705f}};
    SetCoeff(Context, Matrix);
}

void coeff_dsc_f828(TVLCameraRawContext& Context) {
    static const float Matrix[3][4] = {{1.321918f, 0, 0.149829f, -0.471747f},
                                       {-0.288764f, 1.129213f, -0.486517f, 0.646067f},
                                       {0.061336f, -0.199343f, 1.138007f, 0}};
    SetCoeff(Context, Matrix);
}

void coeff_blend_cmyg(TVLCameraRawContext& Context, float X) {
    static const float Sharp[3][4] = {
        {2.25f, 0.75f, -1.75f, -0.25f}, {-0.25f, 0.75f, 0.75f, -0.25f}, {-0.25f, -1.75f, 0.75f, 2.25f}};
    static const float Plain[3][4] = {{1, 0, 0, 0}, {0, 0.5f, 0.5f, 0}, {0, 0, 0, 1}};
    float matrix[3][4];
    for (int32_t r = 0; r < 3; ++r)
        for (int32_t c = 0; c < 4; ++c) matrix[r][c] = X * Sharp[r][c] + (1 - X) * Plain[r][c];
    SetCoeff(Context, matrix);
}

void coeff_foveon(TVLCameraRawContext& Context) {
    static const float Matrix[3][3] = {{2.0343955f, -0.727533f, -0.3067457f},
                                       {-0.2287194f, 1.231793f, -0.0028293f},
                                       {-0.0086152f, -0.153336f, 1.1617814f}};
    float matrix[3][4] = {};
    for (int32_t r = 0; r < 3; ++r)
        for (int32_t c = 0; c < 3; ++c) matrix[r][c] = Matrix[r][c] * Context.PreMul[r];
    SetCoeff(Context, matrix);
}

void finish_colour_setup(TVLCameraRawContext& Context) {
    if (Context.Colors == 4 && !Context.UseCoeff) cmyg_coefficients(Context);
    if (Context.UseCoeff)
        for (int32_t i = 0; i < Context.Colors && i < 4; ++i) {
            Context.Coeff[0][i] *= Context.RedScale;
            Context.Coeff[2][i] *= Context.BlueScale;
        }
    if (Context.FourColorRGB && Context.Filters != 0 && Context.Colors == 3) {
        for (uint32_t i = 0; i < 32; i += 4) {
            if ((Context.Filters >> i & 15) == 9) Context.Filters |= 2u << i;
            if ((Context.Filters >> i & 15) == 6) Context.Filters |= 8u << i;
        }
        Context.Colors = 4;
        Context.PreMul[3] = Context.PreMul[1];
        if (Context.UseCoeff)
            for (auto& row : Context.Coeff) row[1] = row[3] = row[1] / 2;
    }
}

void scale_channels(TVLCameraRawContext& Context) {
    Context.Maximum = std::max(Context.Maximum - Context.Black, 1);
    if (Context.AutoWB || (Context.CameraWB && Context.CameraRed == -1))
        AutoBalance(Context);
    else if (Context.CameraWB)
        CameraBalance(Context);
    if (!Context.UseCoeff) {
        Context.PreMul[0] *= Context.RedScale;
        Context.PreMul[2] *= Context.BlueScale;
    }
    const int64_t cells = CellCount(Context);
    const int32_t colors = std::min(Context.Colors, 4);
    for (int64_t i = 0; i < cells; ++i)
        for (int32_t c = 0; c < colors; ++c) {
            uint16_t& sample = Context.Image[i][c];
            if (sample == 0) continue;
            const double v = std::trunc((sample - Context.Black) * double{Context.PreMul[c]});
            sample = static_cast<uint16_t>(Limited(v, SampleCeiling(Context)));
        }
}

void vng_interpolate(TVLCameraRawContext& Context) {
    if (!Context.Image || Context.Height < 3 || Context.Width < 3) return;
    TVngClass classes[8][2];
    for (int32_t r = 0; r < 8; ++r) {
        classes[r][1] = MakeVngClass(Context, r, 1);
        classes[r][0] = MakeVngClass(Context, r, 2);
    }
    uint16_t* samples = Context.Image[0].data();
    for (int64_t row = 1; row < Context.Height - 1; ++row)
        for (int64_t col = 1; col < Context.Width - 1; ++col) {
            const TVngClass& list = classes[row & 7][col & 1];
            uint16_t* pix = samples + (row * Context.Width + col) * 4;
            int32_t sum[4] = {};
            for (const TVngCode& code : list.Neighbours)
                sum[code.Color] += pix[code.Offset] << code.Shift;
            for (int32_t i = 0; i < list.ColorCount; ++i)
                pix[list.Colors[i]] = static_cast<uint16_t>(sum[list.Colors[i]] / list.Weights[i]);
        }
}

void colors_to_rgb(TVLCameraRawContext& Context) {
    Context.Histogram.fill(0);
    if (!Context.Image) return;
    const int32_t colors = std::min(Context.Colors, 4);
    for (int64_t row = Context.Trim; row < Context.Height - Context.Trim; ++row)
        for (int64_t col = Context.Trim; col < Context.Width - Context.Trim; ++col) {
            TVLRawCell& p = Context.Image[row * Context.Width + col];
            if (Context.Colors == 4 && !Context.UseCoeff)
                p[1] = static_cast<uint16_t>((p[1] + p[3]) >> 1);
            double rgb[3];
            bool convert = true;
            if (Context.Colors == 1) {
                rgb[0] = rgb[1] = rgb[2] = static_cast<double>(p[0]);
            } else if (Context.UseCoeff) {
                for (int32_t r = 0; r < 3; ++r) {
                    rgb[r] = 0;
                    for (int32_t g = 0; g < colors; ++g) rgb[r] += p[g] * static_cast<double>(Context.Coeff[r][g]);
                }
            } else if (Context.IsCMY) {
                const double c0 = p[0], c1 = p[1], c2 = p[2];
                rgb[0] = c0 + c1 - c2;
                rgb[1] = c1 + c2 - c0;
                rgb[2] = c2 + c0 - c1;
            } else {
                convert = false;
            }
            if (convert)
                for (int32_t r = 0; r < 3; ++r)
                    p[r] = static_cast<uint16_t>(
                        std::trunc(Limited(rgb[r], SampleCeiling(Context))));
            const double m = std::min(
                std::sqrt(static_cast<double>(p[0]) * p[0] + static_cast<double>(p[1]) * p[1] +
                          static_cast<double>(p[2]) * p[2]) *
                    0.5,
                65535.0);
            p[3] = static_cast<uint16_t>(m);
            ++Context.Histogram[p[3] >> 3];
        }
}
