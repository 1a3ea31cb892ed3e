// How a waveform picture's columns are shaped before they are drawn: a
// contrast against their neighbourhood, the overview strip's band boosts,
// and normalisation to the loudest column.
#pragma once

#include <span>

namespace nb::external::audio {

// The overview strip (levels 0 and 1) is pulled down by half its
// neighbourhood and then lifted by bands, so quiet and loud passages part.
enum class BandBoost { Off, On };

// Shapes the columns in place into values from 0 to 1: every positive
// column is contrasted with the mean of the five columns either side of it
// (itself counted twice), all from the old values, and clamped; then all are
// divided by the largest. Columns at 0 or below keep their value, and a
// level whose largest column is 0 stays as it is.
void ShapeColumns(std::span<double> columns, BandBoost boost);

}  // namespace nb::external::audio
