#pragma once

namespace tabulon {

class Random {
public:
    virtual ~Random() = default;
    virtual void seedFromTimeOfDay() = 0;
    // A uniform draw in [0, 1).
    virtual double next() = 0;
};

} // namespace tabulon
