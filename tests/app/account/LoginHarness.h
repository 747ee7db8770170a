#pragma once

#include "app/account/LoginView.h"
#include "tests/core/account/SignInHarness.h"

#include <memory>

// A sign-in sheet over a flow wired to fakes (see SignInHarness).
struct LoginHarness : SignInHarness
{
    explicit LoginHarness(bool configured = true, bool offerLater = true)
        : SignInHarness(configured)
        , view(std::make_unique<LoginView>(*flow, offerLater))
    {}

    std::unique_ptr<LoginView> view;
};
