#pragma once
// The steps of one sign picture on a loaded session, shared by the single
// run of glyphora-render and its batch over an annotation tier: what a user
// does in the window, in the same order.
#include "RenderOptions.h"

#include "core/SignPattern.h"
#include "render/SignSession.h"

#include <string>

namespace glyphora {

// Empty when `seconds` can be used for the sign: inside the video, and
// inside the tracked span (within half a frame of the first and last time
// codes); otherwise why not, starting with `what`.
std::string checkSignTime(const SignSession& s, const std::string& what, double seconds);

// checkSignTime for --begin, --end and every key frame of `o`; the first
// problem or empty.
std::string checkSignTimes(const SignSession& s, const RenderOptions& o);

// On a session holding the video and tracking: captures the key frames of
// `o`, sets their shifts and hidden masks, sets the sign's boundaries to
// o.begin and o.end, blends, applies the arrow controls and draws the arrow
// view (width x height) into the current GL surface. `status` tells whether
// arrows were drawn. False with a message when a key frame cannot be
// captured.
bool composeSign(SignSession& s, const RenderOptions& o, int width, int height, SignPattern::DrawStatus& status,
                 std::string* error = nullptr);

} // namespace glyphora
