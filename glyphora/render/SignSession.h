#pragma once
// One sign being made into a picture: the video and its tracking, the key
// frames with their masks and shifts, the sign's boundaries as movie times,
// the arrow controls and the sign pattern. This is the whole non-interface
// logic of the sign-picture program. Its operations are what a user means
// (capture a key frame, shift it, choose the pattern, save the sign); the
// desktop application and the command line call the same ones, and the
// operations return the text to print rather than printing it.
//
// One whole sign, as the command line makes it:
//   session.loadVideo(video); session.loadTracking(tracking);   // once
//   session.newSign();
//   session.captureKeyFrameAt(t) for each key frame;
//   session.goToStep(Step::Mixing);
//   session.setKeyFrameShift(k, hundredths) / setKeyFrameShown(k, false);
//   session.setBoundaries(begin, end);
//   session.goToStep(Step::Arrows); session.tick();
//   session.setArrowsShown(right, left); session.setPattern(p); ...
//   session.refresh(); session.drawArrowView(w, h);              // GL current
//   session.saveSign(name, w, h, &printed, &error);
//
// Pictures held here follow the views' convention: 8-bit, rows stored bottom
// row first, channels green, red, blue (frames are rearranged when prepared).
#include "core/Blend.h"
#include "core/DescriptionFile.h"
#include "core/SignPattern.h"
#include "core/TrackingTable.h"
#include "media/MovieTime.h"
#include "media/VideoFile.h"
#include "render/ArrowView.h"

#include "base/KeyFrames.h"

#include <opencv2/core.hpp>

#include <array>
#include <memory>
#include <string>

namespace glyphora {

// The step of the workflow, that is which step window is shown.
enum class Step {
    Selection, // key-frame selection (selectWin)
    Mixing,    // key-frame mixing (transWin)
    Arrows     // arrows (arrowWin)
};

class SignSession {
public:
    static constexpr int kMaxKeyFrames = base::kMaxKeyFrames;
    // Mask values of a key frame: at capture and when made visible, and hidden.
    static constexpr int kVisibleMask = 50;
    static constexpr int kInvisibleMask = 0;
    // Grid positions of the configuration matrix (5 rows x 10 columns,
    // numbered column by column: position i is row i % 5, column i / 5).
    static constexpr int kConfigurationCells = 50;

    SignSession();
    ~SignSession();
    SignSession(const SignSession&) = delete;
    SignSession& operator=(const SignSession&) = delete;

    // ---- Loading ----------------------------------------------------------
    // Opens a video. On failure returns false with the reason in *error and
    // keeps the previous video, key frames and times untouched. On success
    // the earlier video is replaced: key frames are released, the movie times
    // go back to 0 and the work pictures take the new frame size; the current
    // frame is prepared at once.
    bool loadVideo(const std::string& path, std::string* error = nullptr);
    // Reads a tracking file. On failure returns false with the reason and
    // keeps the previous tracking. On success the sign pattern and the arrow
    // view receive the new columns and rate() is derived from the time codes
    // (lines per second; the video's frame rate when the time codes give none).
    bool loadTracking(const std::string& path, std::string* error = nullptr);

    bool hasVideo() const { return video_ && video_->isOpen(); }
    bool hasTracking() const { return !tracking_.empty(); }
    // True once a video is loaded: the display timer runs from then on.
    bool timerRunning() const { return hasVideo(); }
    const TrackingTable& tracking() const { return tracking_; }
    // Full path of the loaded video (empty before any).
    const std::string& videoFile() const { return videoFile_; }
    // The video's frame size (empty before any video).
    cv::Size frameSize() const { return hasVideo() ? video_->frameSize() : cv::Size(); }
    // Length of the video as a movie time (scale 600), frame rate and count.
    media::MovieTime duration() const { return hasVideo() ? video_->duration() : media::MovieTime(); }
    double fps() const { return hasVideo() ? video_->fps() : 0.0; }
    int64_t frameCount() const { return hasVideo() ? video_->frameCount() : 0; }
    // The time of frame k of the loaded video (scale 600).
    media::MovieTime timeOfFrame(int64_t k) const { return media::MovieTime::ofFrame(k, fps()); }

    // The tracking line at a movie time (0 without tracking).
    int getFrameNb(const media::MovieTime& t) const { return tracking_.getFrameNb(t); }

    // ---- Movie times ------------------------------------------------------
    // Current times of the main, begin and end movie views (scale 600).
    const media::MovieTime& mainTime() const { return firstMovieTime_; }
    const media::MovieTime& beginTime() const { return begMovieTime_; }
    const media::MovieTime& endTime() const { return endMovieTime_; }
    // Tracking lines per second of movie time (see loadTracking).
    float rate() const { return rate_; }

    // Moves the main movie to t, kept within the video (0 .. duration).
    void setMainTime(const media::MovieTime& t);
    // The sign's first and last movie times, as the begin and end views show
    // them.
    void setBegin(const media::MovieTime& t) { begMovieTime_ = t; }
    void setEnd(const media::MovieTime& t) { endMovieTime_ = t; }
    void setBoundaries(const media::MovieTime& begin, const media::MovieTime& end);
    // The begin (end) of the sign at the main movie's time.
    void setBeginHere() { begMovieTime_ = firstMovieTime_; }
    void setEndHere() { endMovieTime_ = firstMovieTime_; }

    // ---- Arrow controls -------------------------------------------------------
    // Movement pattern and symmetry type (SignPattern's numbers, 0..7; the
    // window's lists show them in this order) and the pen orientation in
    // degrees (above 180: a pen held at a fixed angle).
    int pattern() const { return pattern_; }
    int symmetry() const { return symmetry_; }
    double orientation() const { return orientation_; }
    void setPattern(int pattern) { pattern_ = pattern; }
    void setSymmetry(int symmetry) { symmetry_ = symmetry; }
    void setOrientation(double degrees) { orientation_ = degrees; }
    // Shows or hides the R arrow (hand 2) and the L arrow (hand 1). The
    // symmetry follows: one arrow alone is type 1 (L) or 2 (R), no arrow is
    // type 7 with no movement, and both arrows leave a two-hand type as it
    // is (types 1, 2 and 7 go back to 0).
    void setArrowsShown(bool right, bool left);
    // Shift of one arrow, in fractions of the view (-0.5 .. 0.5).
    enum class Arrow { Right, Left };
    void setArrowShift(Arrow arrow, double dx, double dy);
    const ArrowControls& arrowControls() const { return arrows_; }

    // ---- Display tick -------------------------------------------------------
    // The work of one tick of the display timer: seek the frame at the main
    // movie's time and prepare it (channels rearranged, flipped), blend it
    // half and half with the key-frame average into the buffer picture, push
    // the boundaries by rate, the symmetry type and the movement pattern into
    // the sign pattern; in the mixing and arrows steps also recompose the mix,
    // give it to the arrow view and set the arrow view's lines
    // (drawSimplePreview). Returns true when the arrow view must be redrawn.
    // The frame is decoded again only when the main movie's time changed
    // since it was prepared. Does nothing (false) before a video is loaded.
    bool tick();
    // The main movie's time as text, "00:01:02.50".
    std::string timeText() const;

    // The refresh action: drawSimplePreview, boundaries by rate, symmetry
    // type, movement pattern and orientation pushed to the sign pattern. The
    // caller then redraws the arrow view.
    void refresh();

    // ---- Key frames ---------------------------------------------------------
    // Adds the current frame as a key frame (mask 50, shift 0), widens the
    // sign's boundaries to include the main movie's time and updates the
    // average. Refused with a message without a video or when kMaxKeyFrames
    // key frames are held.
    bool captureKeyFrame(std::string* error = nullptr);
    // The same at movie time t: the main movie moves there, one tick shows
    // the frame, and it is captured.
    bool captureKeyFrameAt(const media::MovieTime& t, std::string* error = nullptr);
    // Releases every key frame; the step stays.
    void resetKeyFrames();
    // Starts a new sign: key frames released, back to the selection step.
    void newSign();
    // Shows a step. The mixing step starts at key frame 0 with a fresh mix;
    // going back to the selection keeps the key frames.
    void goToStep(Step step);
    // The key frame edited in the mixing step, one before or after (kept
    // within the held key frames).
    void editPreviousKeyFrame();
    void editNextKeyFrame();
    // Key frame k's horizontal shift, in hundredths of the picture width (the
    // mix follows at the next tick). False when k names no held key frame.
    bool setKeyFrameShift(int k, double hundredths);
    // Key frame k's whole mask to visible (50) or hidden (0), then the mix.
    bool setKeyFrameShown(int k, bool shown);
    // A brush stroke on the edited key frame's mask at (x, y) from the view's
    // lower-left corner in a view of the given size, then the mix brought up
    // to date (drawMixChanges).
    void paintKeyFrameMask(double x, double y, double viewWidth, double viewHeight);
    // The same brush dab without recomposing the mix, so that a run of dabs
    // (a mouse drag) can be followed by a single drawMix(). Returns true when
    // the dab reached the mask (a key frame is edited and the view has a size).
    bool paintKeyFrameMaskOnly(double x, double y, double viewWidth, double viewHeight);

    int kfCount() const { return kfCount_; }
    int kfnb() const { return kfnb_; }
    Step step() const { return step_; }
    // The key frames, their masks and shifts (entries kfCount .. 19 empty).
    const cv::Mat& keyFrame(int i) const { return kfArray_[i]; }
    const cv::Mat& keyFrameMask(int i) const { return kfAlphaArray_[i]; }
    float keyFrameOffset(int i) const { return offsetArray_[i]; }
    // The edited key frame and its mask for the key-frame view, or null when
    // kfnb does not name a held key frame.
    const cv::Mat* curKeyFrame() const;
    const cv::Mat* curKeyFrameMask() const;

    // ---- Pictures -----------------------------------------------------------
    // Blends the key frames through their masks and shifts into the mix
    // picture (black without key frames).
    void drawMix();
    // The mix after brush dabs, with the pixels of drawMix: in the mixing and
    // arrows steps, where the picture holds the mix, only the region the dabs
    // reached since the last blend is recomposed; otherwise drawMix.
    void drawMixChanges();
    // Gives the arrow view the tracking lines of the begin and end times and
    // the preview size.
    void drawSimplePreview();

    // Current frame (prepared), running average of the key frames, and the
    // working picture shown by the buffer, mix and arrow views.
    const cv::Mat& curFrame() const { return curFrame_; }
    const cv::Mat& kfBuffer() const { return kfBuffer_; }
    const cv::Mat& kfNewBuffer() const { return kfNewBuffer_; }

    // The arrow view's state (lines, picture, size at initBegEnd). The view
    // that shows it tells its size here; the default is the frame size.
    const ArrowView& arrowView() const { return preview_; }
    void setPreviewSize(int width, int height);
    // Draws the arrow view (the mix and the arrows) into the current GL
    // surface of width x height pixels; says why no arrows were drawn.
    SignPattern::DrawStatus drawArrowView(int width, int height);
    cv::Size previewSize() const;

    SignPattern& spat() { return spat_; }
    const SignPattern& spat() const { return spat_; }

    // ---- Save and description ----------------------------------------------
    // The tracking export of hand 1 around the sign: the text printed at
    // each picture save, before the picture is written.
    std::string exportTracking() const;
    // Picture save from the current GL surface, which must hold the drawn
    // arrow view of viewWidth x viewHeight: reads the picture back and writes
    // name + ".jpg"; on success remembers `name` for the description and
    // clears the configuration matrix for the new description. Refused for
    // an empty name or a missing folder, with nothing written.
    bool savePicture(const std::string& name, double viewWidth, double viewHeight, std::string* error = nullptr);
    // The configuration matrix as the configuration window reports it
    // (matConf[row][column], 5 x 10), or one cell by grid position (row
    // position % 5, column position / 5; false for a position outside 0..49).
    void setConfiguration(const ConfigurationMatrix& cells) { matConf_ = cells; }
    bool setConfigurationCell(int position, bool on);
    const ConfigurationMatrix& configuration() const { return matConf_; }
    // Writes exportName + ".sgn" and clears the configuration afterwards.
    // *printed receives what is printed after it: the two relative positions
    // when the symmetry type is 1, else nothing. Refused before any picture
    // was saved.
    bool saveDescription(std::string* printed, std::string* error = nullptr);
    // The whole save of a sign from the drawn arrow view: the picture, then
    // the description with the configuration set before. *printed receives
    // the tracking export and the description's line, also when a step fails
    // (the export is printed before anything is written).
    bool saveSign(const std::string& name, double viewWidth, double viewHeight, std::string* printed,
                  std::string* error = nullptr);
    // The ".sgn" line that saveDescription would write now.
    std::string descriptionText() const;
    const std::string& exportName() const { return exportName_; }
    void setExportName(const std::string& name) { exportName_ = name; }

private:
    bool prepareCurrentFrame();
    DescriptionInputs descriptionInputs() const;
    void pushBoundariesByRate();
    void updateRate();

    std::unique_ptr<media::VideoFile> video_;
    std::string videoFile_;
    TrackingTable tracking_;
    SignPattern spat_;
    ArrowView preview_;

    media::MovieTime firstMovieTime_;
    media::MovieTime begMovieTime_;
    media::MovieTime endMovieTime_;
    float rate_ = 0.0f;

    ArrowControls arrows_;
    int symmetry_ = 0;
    int pattern_ = 0;
    double orientation_ = 0.0;

    std::array<cv::Mat, kMaxKeyFrames> kfArray_;
    std::array<cv::Mat, kMaxKeyFrames> kfAlphaArray_;
    std::array<float, kMaxKeyFrames> offsetArray_{};
    int kfCount_ = 0;
    int kfnb_ = 0;
    Step step_ = Step::Selection;

    cv::Mat tmpFrame_;    // the frame as decoded
    cv::Mat curFrame_;    // prepared current frame
    cv::Mat kfBuffer_;    // running average of the key frames
    cv::Mat kfNewBuffer_; // buffer picture, then the mix
    media::MovieTime curFrameTime_; // main movie time curFrame_ was taken at
    MixScratch mixScratch_;
    cv::Size previewSize_;

    ConfigurationMatrix matConf_{};
    std::string exportName_;
};

} // namespace glyphora
