// The synthetic signer: repeatable bytes, truth that matches the pictures, and
// a scene the tracker can fairly be asked to follow.
#include "sample/SampleFiles.h"
#include "sample/SampleWriter.h"
#include "sample/SignerScene.h"

#include <gtest/gtest.h>
#include <opencv2/imgproc.hpp>
#include <opencv2/videoio.hpp>

#include <cstdlib>
#include <filesystem>
#include <set>

namespace fs = std::filesystem;
using namespace vsample;

namespace {

std::string freshDir(const std::string& name) {
    fs::path p = fs::path(TEST_BINARY_DIR) / "scene_tmp" / name;
    fs::remove_all(p);
    return p.string();
}

std::string slurp(const std::string& path) {
    std::string text, error;
    EXPECT_TRUE(readTextFile(path, &text, &error)) << error;
    return text;
}

// Mean colour of the 5 x 5 block around p.
cv::Vec3d meanAround(const cv::Mat& img, const cv::Point2d& p) {
    cv::Rect r(cvRound(p.x) - 2, cvRound(p.y) - 2, 5, 5);
    r &= cv::Rect(0, 0, img.cols, img.rows);
    cv::Scalar m = cv::mean(img(r));
    return cv::Vec3d(m[0], m[1], m[2]);
}

bool near(const cv::Vec3d& c, const cv::Scalar& ref, double tol) {
    for (int i = 0; i < 3; ++i)
        if (std::fabs(c[i] - ref[i]) > tol) return false;
    return true;
}

// Colour bins of 16 levels per channel, as the tracker's likelihood tables use.
int binOf(const cv::Vec3b& c) { return (c[0] / 16) * 256 + (c[1] / 16) * 16 + c[2] / 16; }

} // namespace

TEST(SignerScene, ElbowSolutionKeepsBothLengthsAndFollowsThePole) {
    const cv::Point3d s(0, 0, 0), t(60, 120, 40);
    for (double side : {-1.0, 1.0}) {
        cv::Point3d e = solveElbow(s, t, 140, 150, cv::Point3d(side * 0.3, 1, -0.6));
        EXPECT_NEAR(cv::norm(e - s), 140, 1e-9);
        EXPECT_NEAR(cv::norm(t - e), 150, 1e-9);
        // The elbow leans to the pole's side of the shoulder-hand line.
        cv::Point3d n = t * (1.0 / cv::norm(t));
        cv::Point3d off = e - n * e.dot(n);
        EXPECT_GT(off.dot(cv::Point3d(side * 0.3, 1, -0.6)), 0);
    }
    // Out of reach: the arm is stretched toward the target.
    cv::Point3d e = solveElbow(s, cv::Point3d(0, 1000, 0), 140, 150, cv::Point3d(1, 0, 0));
    EXPECT_NEAR(cv::norm(e - s), 140, 1e-6);
    EXPECT_NEAR(e.y, 140, 1e-3);
}

TEST(SignerScene, ScriptKeepsHandsApartOrderedAndInFrame) {
    SignerScene scene;
    for (int k = 0; k < kScriptFrames; ++k) {
        SignerPose p = scene.pose(k);
        SCOPED_TRACE(k);
        for (const cv::Point2d& h : {p.hand1, p.hand2}) {
            EXPECT_GE(h.x, 40);
            EXPECT_LE(h.x, kFrameWidth - 40);
            EXPECT_GE(h.y, 40);
            EXPECT_LE(h.y, kFrameHeight - 40);
        }
        EXPECT_LT(p.hand1.x, p.hand2.x); // the person's right hand stays on the picture's left
        EXPECT_GT(cv::norm(p.hand1 - p.hand2), 70);
        EXPECT_LT(p.elbowR.x, p.elbowL.x);
    }
    // Frame 0 is the rest pose the calibration is made on, and the script loops.
    SignerPose a = scene.pose(0), b = scene.pose(kScriptFrames);
    EXPECT_NEAR(cv::norm(a.hand1 - b.hand1), 0, 1e-9);
    EXPECT_NEAR(cv::norm(scene.pose(kScriptFrames - 1).hand2 - a.hand2), 0, 1.0);
}

TEST(SignerScene, ElbowsStayOnTheirOwnSideWhenAHandTouchesTheFace) {
    // A raised hand at its own cheek or the chin folds the arm with the
    // elbow under it; the elbow never crosses the body's centre line, in any
    // script, variant or shoulder width.
    for (const std::string script : {"face", "mixed", "crossing", "quick"}) {
        for (int look : {0, 2, 5}) {
            for (uint32_t variant : {0u, 3u}) {
                SceneOptions o;
                o.script = script;
                o.look = look;
                o.variant = variant;
                SignerScene scene(o);
                const SignerPose rest = scene.pose(0);
                const double centre = (rest.shoulderR.x + rest.shoulderL.x) / 2;
                double highest1 = 1e9;
                for (int k = 0; k < scene.scriptFrames(); ++k) {
                    const SignerPose p = scene.pose(k);
                    SCOPED_TRACE(script + " look " + std::to_string(look) + " frame " + std::to_string(k));
                    ASSERT_LT(p.elbowR.x, centre);
                    ASSERT_GT(p.elbowL.x, centre);
                    if (p.hand1.x > rest.shoulderR.x + 40) highest1 = std::min(highest1, p.hand1.y);
                    if (p.hand1.y < rest.shoulderR.y - 40 && p.hand1.x > rest.shoulderR.x + 40) {
                        EXPECT_GT(p.elbowR.y, p.hand1.y + 80); // hanging under the hand
                    }
                }
                if (script == "face") {
                    EXPECT_LT(highest1, rest.shoulderR.y - 40); // the case was met
                }
            }
        }
    }
}

TEST(SignerScene, SampleFilesAreByteIdenticalAcrossRuns) {
    SampleRequest r;
    r.frames = 12;
    r.outDir = freshDir("run1");
    std::string error;
    ASSERT_TRUE(writeSample(r, &error)) << error;
    SampleRequest r2 = r;
    r2.outDir = freshDir("run2");
    ASSERT_TRUE(writeSample(r2, &error)) << error;
    // A separate process through the command line as well.
    std::string dir3 = freshDir("run3");
    std::string cmd = std::string("\"") + VESTIGA_SYNTH_EXE + "\" --out-dir \"" + dir3 + "\" --frames 12 > /dev/null";
    ASSERT_EQ(std::system(cmd.c_str()), 0);

    SamplePaths p1 = samplePaths(r), p2 = samplePaths(r2);
    r2.outDir = dir3;
    SamplePaths p3 = samplePaths(r2);
    for (auto member : {&SamplePaths::video, &SamplePaths::calibration, &SamplePaths::truth}) {
        std::string a = slurp(p1.*member);
        ASSERT_FALSE(a.empty()) << p1.*member;
        EXPECT_TRUE(a == slurp(p2.*member)) << p2.*member << " differs";
        EXPECT_TRUE(a == slurp(p3.*member)) << p3.*member << " differs";
    }
    // No temporary file is left behind.
    for (const auto& entry : fs::directory_iterator(r.outDir))
        EXPECT_EQ(entry.path().string().find(".part"), std::string::npos) << entry.path();
}

TEST(SignerScene, VideoShowsHeadHandsAndSleevesWhereTheTruthSays) {
    SampleRequest r;
    r.outDir = freshDir("full");
    std::string error;
    ASSERT_TRUE(writeSample(r, &error)) << error;
    SamplePaths paths = samplePaths(r);

    std::vector<TruthFrame> truth;
    ASSERT_TRUE(readTruth(paths.truth, &truth, &error)) << error;
    ASSERT_EQ(int(truth.size()), kScriptFrames);

    cv::VideoCapture cap(paths.video, cv::CAP_FFMPEG);
    ASSERT_TRUE(cap.isOpened());
    EXPECT_EQ(int(cap.get(cv::CAP_PROP_FRAME_WIDTH)), kFrameWidth);
    EXPECT_EQ(int(cap.get(cv::CAP_PROP_FRAME_HEIGHT)), kFrameHeight);
    EXPECT_DOUBLE_EQ(cap.get(cv::CAP_PROP_FPS), kFps);

    const cv::Scalar skin = SignerScene::skinColour(), shirt = SignerScene::shirtColour();
    cv::Mat frame;
    int k = 0;
    while (cap.read(frame)) {
        ASSERT_LT(k, kScriptFrames);
        const TruthFrame& t = truth[k];
        SCOPED_TRACE(k);
        EXPECT_EQ(t.frame, k);
        // Hands and face are skin (the hand centre may carry the lighter palm).
        EXPECT_TRUE(near(meanAround(frame, t.hand1), skin, 16)) << meanAround(frame, t.hand1);
        EXPECT_TRUE(near(meanAround(frame, t.hand2), skin, 16)) << meanAround(frame, t.hand2);
        EXPECT_TRUE(near(meanAround(frame, t.head + cv::Point2d(0, 10)), skin, 16));
        // Elbows are in the sleeves: dark blue, not skin.
        EXPECT_TRUE(near(meanAround(frame, t.elbowR), shirt, 22)) << meanAround(frame, t.elbowR);
        EXPECT_TRUE(near(meanAround(frame, t.elbowL), shirt, 22)) << meanAround(frame, t.elbowL);
        ++k;
    }
    EXPECT_EQ(k, kScriptFrames);
}

TEST(SignerScene, CalibrationFitsFrameZeroAndSkinDiffersFromBackground) {
    SignerScene scene;
    SceneCalibration c = scene.calibration();
    SignerPose p = scene.pose(0);
    EXPECT_EQ(c.area, cv::Rect2d(0, 0, kFrameWidth, kFrameHeight));
    EXPECT_TRUE(c.head.contains(p.head));
    EXPECT_NEAR(c.head.x + c.head.width / 2, p.head.x, 1e-9);
    EXPECT_EQ(c.shoulderR, p.shoulderR);

    std::string text = formatCalibration(c);
    EXPECT_NE(text.find("area 0,0,640,480\n"), std::string::npos) << text;
    EXPECT_NE(text.find("shoulders 230,216,410,216\n"), std::string::npos) << text;
    EXPECT_NE(text.find("reference-frame 0\n"), std::string::npos);
    EXPECT_NE(text.find("sleeves wrist\n"), std::string::npos);
    cv::Rect2d area;
    std::string error;
    ASSERT_TRUE(parseCalibrationArea(text, "calib", &area, &error)) << error;
    EXPECT_EQ(area, c.area);

    // The tracker's default skin sample is the centre half of the head box:
    // it must be face, and the colours it holds must not appear on the wall
    // in the outer quarters, which are the tracker's model of the background.
    cv::Mat img;
    scene.render(0, img);
    cv::Rect sampleBox(int(c.head.x + 0.25 * c.head.width), int(c.head.y + 0.25 * c.head.height),
                       int(0.5 * c.head.width), int(0.5 * c.head.height));
    std::set<int> skinBins;
    int skinLike = 0;
    for (int y = sampleBox.y; y < sampleBox.br().y; ++y)
        for (int x = sampleBox.x; x < sampleBox.br().x; ++x) {
            cv::Vec3b px = img.at<cv::Vec3b>(y, x);
            skinBins.insert(binOf(px));
            if (px[2] > px[1] + 25 && px[1] > px[0] + 10) ++skinLike;
        }
    EXPECT_GT(skinLike, 0.85 * sampleBox.area());
    int shared = 0, total = 0;
    for (int y = 0; y < img.rows; ++y)
        for (int x = 0; x < img.cols; ++x) {
            if (x >= kFrameWidth / 4 && x < 3 * kFrameWidth / 4) continue;
            ++total;
            shared += skinBins.count(binOf(img.at<cv::Vec3b>(y, x))) ? 1 : 0;
        }
    EXPECT_LT(shared, total / 1000) << shared << " wall pixels of " << total << " fall in skin bins";
}

TEST(SignerScene, BadRequestsAreRefusedWithAMessage) {
    std::string error;
    SampleRequest r;
    r.outDir = freshDir("bad");
    r.frames = 0;
    EXPECT_FALSE(writeSample(r, &error));
    EXPECT_NE(error.find("frames"), std::string::npos) << error;
    r.frames = 3;
    r.name = "a/b";
    EXPECT_FALSE(writeSample(r, &error));
    EXPECT_NE(error.find("a/b"), std::string::npos) << error;
    EXPECT_FALSE(fs::exists(r.outDir + "/a"));

    // The output directory cannot be created under a regular file.
    std::string file = freshDir("plainfile");
    fs::create_directories(fs::path(file).parent_path());
    std::string werr;
    ASSERT_TRUE(writeTextFile(file, "x", &werr)) << werr;
    r.name = "signer";
    r.outDir = file + "/sub";
    EXPECT_FALSE(writeSample(r, &error));
    EXPECT_NE(error.find("directory"), std::string::npos) << error;

    std::string cmd = std::string("\"") + VESTIGA_SYNTH_EXE + "\" --frames x --out-dir /tmp > /dev/null 2>&1";
    EXPECT_EQ(WEXITSTATUS(std::system(cmd.c_str())), 2);
    cmd = std::string("\"") + VESTIGA_SYNTH_EXE + "\" > /dev/null 2>&1";
    EXPECT_EQ(WEXITSTATUS(std::system(cmd.c_str())), 2);
    // The conventions of every tool: help succeeds, a repeated option is refused.
    for (const char* exe : {VESTIGA_SYNTH_EXE, VESTIGA_EVAL_EXE}) {
        cmd = std::string("\"") + exe + "\" --help > /dev/null 2>&1";
        EXPECT_EQ(WEXITSTATUS(std::system(cmd.c_str())), 0) << exe;
    }
    const std::string twice = fs::path(file).parent_path().string() + "/twice";
    cmd = std::string("\"") + VESTIGA_SYNTH_EXE + "\" --frames 12 --frames 12 --out-dir \"" + twice
          + "\" > /dev/null 2>&1";
    EXPECT_EQ(WEXITSTATUS(std::system(cmd.c_str())), 2);
    EXPECT_FALSE(fs::exists(twice + "/signer.avi"));
    const std::string sample = VESTIGA_SAMPLE_DIR;
    if (fs::exists(sample + "/signer.track")) {
        cmd = std::string("\"") + VESTIGA_EVAL_EXE + "\" --truth " + sample + "/signer.truth --tracking " + sample
              + "/signer.track --calibration " + sample + "/signer.calib --json --tracking " + sample
              + "/signer.track > /dev/null 2>&1";
        EXPECT_EQ(WEXITSTATUS(std::system(cmd.c_str())), 2);
    }
}

TEST(SignerScene, VariedSignersShowTheirLookWhereTheTruthSays) {
    for (int look = 1; look < kLooks; ++look) {
        SampleRequest r;
        r.outDir = freshDir("look" + std::to_string(look));
        r.scene.look = look;
        r.scene.script = look == 1 ? "crossing" : look == 2 ? "face" : "quick";
        r.scene.size = look == 2 ? cv::Size(1280, 720) : cv::Size(800, 600);
        r.scene.fps = look == 2 ? 30 : 25;
        r.scene.shortSleeves = look == 2;
        r.scene.seed = r.scene.variant = 5u + uint32_t(look);
        r.frames = 40;
        std::string error;
        ASSERT_TRUE(writeSample(r, &error)) << error;
        SamplePaths paths = samplePaths(r);
        const std::string calib = slurp(paths.calibration);
        EXPECT_NE(calib.find(look == 2 ? "sleeves short\n" : "sleeves wrist\n"), std::string::npos) << calib;
        std::vector<TruthFrame> truth;
        ASSERT_TRUE(readTruth(paths.truth, &truth, &error)) << error;
        cv::VideoCapture cap(paths.video, cv::CAP_FFMPEG);
        ASSERT_TRUE(cap.isOpened());
        EXPECT_EQ(int(cap.get(cv::CAP_PROP_FRAME_WIDTH)), r.scene.size.width);
        EXPECT_EQ(int(cap.get(cv::CAP_PROP_FRAME_HEIGHT)), r.scene.size.height);
        EXPECT_DOUBLE_EQ(cap.get(cv::CAP_PROP_FPS), r.scene.fps);
        const cv::Scalar skin = signerLook(look).skin;
        cv::Mat frame;
        for (int k = 0; cap.read(frame); ++k) {
            SCOPED_TRACE(look * 1000 + k);
            ASSERT_LT(k, 40);
            // The face and the hand in front (hand 2, drawn last) are skin.
            EXPECT_TRUE(near(meanAround(frame, truth[k].hand2), skin, 20)) << meanAround(frame, truth[k].hand2);
            EXPECT_TRUE(near(meanAround(frame, truth[k].head + cv::Point2d(0, 10)), skin, 20));
            for (const cv::Point2d& h : {truth[k].hand1, truth[k].hand2}) {
                EXPECT_GE(h.x, 0);
                EXPECT_LT(h.x, r.scene.size.width);
                EXPECT_LT(h.y, r.scene.size.height);
            }
        }
    }
    // The same seed gives the same movements; another seed other ones.
    SceneOptions a;
    a.script = "mixed";
    a.variant = 3;
    SceneOptions b = a;
    b.variant = 4;
    EXPECT_EQ(SignerScene(a).pose(60).hand1, SignerScene(a).pose(60).hand1);
    EXPECT_NE(SignerScene(a).pose(60).hand1, SignerScene(b).pose(60).hand1);

    SceneOptions bad;
    bad.script = "juggling";
    EXPECT_NE(checkSceneOptions(bad).find("juggling"), std::string::npos);
    bad = SceneOptions();
    bad.size = cv::Size(480, 640);
    EXPECT_FALSE(checkSceneOptions(bad).empty());
    bad = SceneOptions();
    bad.look = kLooks;
    EXPECT_FALSE(checkSceneOptions(bad).empty());
}

TEST(SignerScene, SetListsEveryMemberAndCoversSizesRatesAndSleeves) {
    const auto set = variedSet("/nowhere", 1);
    ASSERT_GE(set.size(), 6u);
    std::set<std::string> scripts;
    bool big = false, thirty = false, twentyFive = false, shortS = false, longS = false;
    std::set<int> looks;
    for (const SampleRequest& r : set) {
        EXPECT_TRUE(checkSceneOptions(r.scene).empty()) << r.name;
        scripts.insert(r.scene.script);
        looks.insert(r.scene.look);
        big = big || r.scene.size == cv::Size(1280, 720);
        thirty = thirty || r.scene.fps == 30;
        twentyFive = twentyFive || r.scene.fps == 25;
        shortS = shortS || r.scene.shortSleeves;
        longS = longS || !r.scene.shortSleeves;
    }
    EXPECT_GE(looks.size(), 3u);
    EXPECT_TRUE(scripts.count("crossing") && scripts.count("face") && scripts.count("quick"));
    EXPECT_TRUE(big && thirty && twentyFive && shortS && longS);
    EXPECT_NE(variedSet("/nowhere", 2)[0].scene.seed, set[0].scene.seed);
}
