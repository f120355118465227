#pragma once
// How many key frames one sign picture may blend: the capture refuses the
// next one, the command line refuses more options, the blend refuses more
// pictures.

namespace base {

constexpr int kMaxKeyFrames = 20;

} // namespace base
