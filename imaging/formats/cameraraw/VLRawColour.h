// Colour of camera-raw pictures: the fixed sensor matrices, the colour set-up that closes the
// identification, the channel scaling with black level and white balance, the bilinear
// demosaicing and the conversion to RGB with the magnitude histogram.
#pragma once

struct TVLCameraRawContext;

// Coeff for a four-colour (green, magenta, cyan, yellow) sensor, each row summing to 1.
void cmyg_coefficients(TVLCameraRawContext& Context);
void coeff_nikon_e950(TVLCameraRawContext& Context);
void coeff_dsc_f828(TVLCameraRawContext& Context);
// X times the sharp complementary-colour matrix plus (1 - X) times the plain one.
void coeff_blend_cmyg(TVLCameraRawContext& Context, float X);
// The Foveon matrix, row i times PreMul[i].
void coeff_foveon(TVLCameraRawContext& Context);
// Four-colour matrix when none is set, the red and blue scales on a matrix, and the split of
// the second green into colour 3 under FourColorRGB.
void finish_colour_setup(TVLCameraRawContext& Context);
// Subtracts the black level and applies the white balance; a colour without a counted sample
// keeps its multiplier.
void scale_channels(TVLCameraRawContext& Context);
// Fills the missing colours of every inner cell from its 3 x 3 neighbourhood.
void vng_interpolate(TVLCameraRawContext& Context);
// Turns every cell inside the Trim border into RGB with its magnitude in sample 3, and fills
// the histogram of magnitude >> 3.
void colors_to_rgb(TVLCameraRawContext& Context);
