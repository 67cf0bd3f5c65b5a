// The error every stage of `kiln build` throws when the product cannot
// become a setup file; its message names what is wrong.
#pragma once
#include <stdexcept>

struct BuildError : std::runtime_error {
    using std::runtime_error::runtime_error;
};
