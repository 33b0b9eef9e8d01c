#pragma once

#include "components/SonvaraError.h"

// A mistake in the command line itself: reported with the usage hint.
class UsageError : public SonvaraError {
public:
    using SonvaraError::SonvaraError;
};
