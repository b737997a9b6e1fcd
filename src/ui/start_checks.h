#pragma once

#include <optional>
#include <string>

#include "settings/movie_spec.h"

namespace zr {

// What Start finds wrong before anything else is asked, in the dialog's terms: the message and
// the control that takes the focus.
struct StartProblem {
    std::string message;
    int focusControl = 0;
};

// The key frame folder has no key frame (or does not exist), or an AVI movie is to carry a
// soundtrack, or its soundtrack cannot be read: the run would fail, after the codec dialog.
// Nothing: Start goes on.
std::optional<StartProblem> checkBeforeStart(const MovieSpec& spec);

}  // namespace zr
