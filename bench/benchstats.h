#pragma once

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <vector>

// Median, 99th percentile (nearest rank) and maximum of a set of samples.
struct Summary
{
    double median = 0.0;
    double p99 = 0.0;
    double max = 0.0;
    std::size_t count = 0;
};

inline double nearestRank(const std::vector<double> &sorted, double fraction)
{
    const auto rank = static_cast<std::size_t>(std::ceil(fraction * double(sorted.size())));
    return sorted[std::clamp<std::size_t>(rank, 1, sorted.size()) - 1];
}

inline Summary summarize(std::vector<double> samples)
{
    Summary summary;
    summary.count = samples.size();
    if (samples.empty())
        return summary;
    std::sort(samples.begin(), samples.end());
    summary.median = nearestRank(samples, 0.5);
    summary.p99 = nearestRank(samples, 0.99);
    summary.max = samples.back();
    return summary;
}
