// Small pieces the benchmark programs share.
#pragma once

#include <algorithm>
#include <vector>

// The median of `values`; 0 when there are none.
inline double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n == 0 ? 0 : n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}
