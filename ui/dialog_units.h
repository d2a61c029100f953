// Dialog units, the coordinates of the dialog templates, and their conversion
// to pixels: one function for every front end, so that a template comes out
// the same on each.
#pragma once

// What dialog units are worth for one dialog font: x units are a quarter of
// its average character width, y units an eighth of its height, in pixels.
struct DialogBaseUnits {
    int x = 0;
    int y = 0;
};

// A rectangle as a template gives it: position and size.
struct DialogRect {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
};

// number * numerator / denominator, computed in 64 bits and rounded to the
// nearest integer, halves away from zero: what the Windows MulDiv returns,
// including -1 for a zero denominator or a result that does not fit an int.
int MulDivRounded(int number, int numerator, int denominator);

// Converts a template rectangle to pixels the way the Windows dialog manager
// does: x, y, width and height each on its own.
DialogRect DialogUnitsToPixels(const DialogRect& units, DialogBaseUnits base);
