// The operator's input from the browser applied to the window model through
// platform/operator.h, on the main thread. The browser is not trusted: an
// action names a window by its handle, and it is applied only when that
// window is live, of the kind the action needs, and within reach, that is
// on the dialog that has the operator's attention (active_dialog()).
#pragma once

#include <nlohmann/json.hpp>

namespace orva::web {

// The longest text an edit takes from the browser, in UTF-16 code units
// (the program reads at most a few hundred).
inline constexpr size_t kMaxTypedText = 4096;

// Applies one action: {"op":"press","h":H}, {"op":"type","h":H,"text":T},
// {"op":"choose","h":H,"index":I}, {"op":"tab","index":I},
// {"op":"sheet","button":"ok"|"cancel"}, {"op":"close","h":H,"id":1|2}.
// false (and nothing done) for anything else.
bool apply_operator_input(const nlohmann::json& action);

}  // namespace orva::web
