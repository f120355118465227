#pragma once
// One sign being made into a picture: the video and its tracking, the key
// frames with their masks and shifts, the sign's boundaries as movie times,
// the arrow controls and the sign pattern. This is the whole non-interface
// logic of the sign-picture program; the desktop application forwards its
// user actions here and the command-line renderer calls the same methods in
// the order a user would.
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
    static constexpr int kMaxKeyFrames = 20;
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
    // view receive the new columns and `rate` is derived from the time codes
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
    media::MovieTime firstMovieTime;
    media::MovieTime begMovieTime;
    media::MovieTime endMovieTime;
    // Tracking lines per second of movie time (see loadTracking).
    float rate = 0.0f;

    // Moves the main movie to t, kept within the video (0 .. duration).
    void setMainTime(const media::MovieTime& t);

    // ---- Controls ----------------------------------------------------------
    ArrowControls arrows;  // R/L visibility boxes and shift sliders
    int comboSym = 0;      // symmetry type, item index 0..7
    int comboMoPat = 0;    // movement pattern, item index 0..7
    double slOrientation = 0.0; // orientation slider (degrees)
    double offsetSlider = 0.0;  // shift of the edited key frame, hundredths of the width

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
    // average. Refused with a message without a video or when 20 key frames
    // are held.
    bool captureKeyFrame(std::string* error = nullptr);
    void resetKeyFrame();
    void validateKeyFrame();     // selection -> mixing; key frame 0 is edited
    void displayKFSelecWin();    // mixing -> selection
    void validateKeyFrameMix();  // mixing -> arrows
    void displayFirstWinNewPS(); // arrows -> selection, key frames released
    void prevKF();
    void nextKF();
    // offsetArray[kfnb] = offsetSlider / 100 (the mix follows at the next tick).
    void moveOffset();
    void setVisible();   // whole mask of the edited key frame to 50, then drawMix
    void setInvisible(); // whole mask of the edited key frame to 0, then drawMix
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

    // ---- Boundaries and hand visibility -------------------------------------
    void onPressBegSign(); // begin view to the main movie's time
    void onPressEndSign(); // end view to the main movie's time
    // Ties the symmetry type (and for no arrow the pattern) to the R and L
    // visibility boxes of `arrows`.
    void changeHandVisibility();

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
    ArrowView preview;
    void setPreviewSize(int width, int height);
    cv::Size previewSize() const;

    SignPattern& spat() { return spat_; }
    const SignPattern& spat() const { return spat_; }

    // ---- Save and description ----------------------------------------------
    // The tracking export of hand 1 around the sign (the text printed on the
    // standard output at each picture save).
    std::string exportTracking() const;
    // Prints exportTracking() on the standard output: the first step of a
    // picture save, before the name is asked for.
    void printTrackingExport() const;
    // Picture save from the current GL surface, which must hold the drawn
    // arrow view of viewWidth x viewHeight: reads the picture back and writes
    // name + ".jpg"; on success remembers `name` for the description and
    // clears the configuration matrix for the new description. Refused for
    // an empty name or a missing folder, with nothing written.
    bool saveGL(const std::string& name, double viewWidth, double viewHeight, std::string* error = nullptr);
    // The configuration matrix as the configuration window reports it
    // (matConf[row][column], 5 x 10), or one cell by grid position (row
    // position % 5, column position / 5; false for a position outside 0..49).
    void confDidChange(const ConfigurationMatrix& cells) { matConf_ = cells; }
    bool setConfigurationCell(int position, bool on);
    const ConfigurationMatrix& matConf() const { return matConf_; }
    // Writes exportName + ".sgn"; when the symmetry type is 1 also prints the
    // two relative positions on the standard output. Clears the configuration
    // afterwards. Refused before any picture was saved.
    bool saveDescr(std::string* error = nullptr);
    // The ".sgn" line that saveDescr would write now.
    std::string descriptionText() const;
    const std::string& exportName() const { return exportName_; }
    void setExportName(const std::string& name) { exportName_ = name; }

private:
    bool prepareCurrentFrame();
    void setKeyFrameMask(int value);
    void pushBoundariesByRate();
    void updateRate();

    std::unique_ptr<media::VideoFile> video_;
    std::string videoFile_;
    TrackingTable tracking_;
    SignPattern spat_;

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
