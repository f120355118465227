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

// A key frame or a boundary of the sign must lie on a frame of o.video that
// decodes: the session would otherwise keep showing the last frame it could
// read. The first problem (naming the option) or empty.
std::string checkSignFramesDecode(const RenderOptions& o);

// The picture's size: --width and --height where given, else the video's
// frame size. Empty when it can be drawn (at least 4x1), else why not.
std::string pictureSize(const SignSession& s, const RenderOptions& o, int* width, int* height);

// On a session holding the video and tracking: starts a new sign, captures
// the key frames of `o`, sets their shifts and hidden masks, sets the sign's
// boundaries to o.begin and o.end, blends and applies the arrow controls. The
// caller then makes a GL surface current and draws the arrow view. False with
// a message when a key frame cannot be captured.
bool composeSign(SignSession& s, const RenderOptions& o, std::string* error = nullptr);

} // namespace glyphora
