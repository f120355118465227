#include "sample/SampleWriter.h"

#include "sample/SampleFiles.h"

#include <opencv2/videoio.hpp>

#include <cstdio>
#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;

namespace vsample {

SamplePaths samplePaths(const SampleRequest& r) {
    fs::path dir(r.outDir);
    return {(dir / (r.name + ".avi")).string(), (dir / (r.name + ".calib")).string(),
            (dir / (r.name + ".truth")).string()};
}

bool checkRequest(const SampleRequest& r, std::string* error) {
    if (r.outDir.empty()) {
        *error = "no output directory given";
        return false;
    }
    if (r.name.empty() || r.name == "." || r.name == ".." || r.name.find('/') != std::string::npos) {
        *error = "invalid sample name '" + r.name + "': give a plain file name without a directory";
        return false;
    }
    if (r.frames < 1) {
        *error = "the number of frames must be at least 1 (got " + std::to_string(r.frames) + ")";
        return false;
    }
    const std::string why = checkSceneOptions(r.scene);
    if (!why.empty()) {
        *error = why;
        return false;
    }
    return true;
}

bool writeSample(const SampleRequest& r, std::string* error, const std::function<void(int, int)>& progress) {
    if (!checkRequest(r, error)) return false;
    std::error_code ec;
    fs::create_directories(r.outDir, ec);
    if (ec || !fs::is_directory(r.outDir)) {
        *error = "cannot create the output directory " + r.outDir + (ec ? ": " + ec.message() : "");
        return false;
    }
    SamplePaths paths = samplePaths(r);
    SignerScene scene(r.scene);

    // The video goes to a temporary name that keeps the extension the writer
    // chooses its container by.
    std::string tmpVideo = (fs::path(r.outDir) / (r.name + ".part.avi")).string();
    std::vector<TruthFrame> truth;
    {
        cv::VideoWriter writer;
        if (!writer.open(tmpVideo, cv::CAP_FFMPEG, cv::VideoWriter::fourcc('M', 'J', 'P', 'G'), r.scene.fps,
                         r.scene.size, true)) {
            *error = "cannot create the video " + tmpVideo + " (Motion-JPEG through FFmpeg)";
            std::remove(tmpVideo.c_str());
            return false;
        }
        cv::Mat frame;
        for (int k = 0; k < r.frames; ++k) {
            scene.render(k, frame);
            writer.write(frame);
            SignerPose p = scene.pose(k);
            TruthFrame t;
            t.frame = k;
            t.hand1 = p.hand1;
            t.hand2 = p.hand2;
            t.head = p.head;
            t.elbowR = p.elbowR;
            t.elbowL = p.elbowL;
            truth.push_back(t);
            if (progress) progress(k + 1, r.frames);
        }
        writer.release();
    }
    std::error_code sizeEc;
    if (fs::file_size(tmpVideo, sizeEc) == 0 || sizeEc) {
        *error = "writing the video " + tmpVideo + " failed";
        std::remove(tmpVideo.c_str());
        return false;
    }
    if (!writeTextFile(paths.calibration, formatCalibration(scene.calibration()), error) ||
        !writeTextFile(paths.truth, formatTruth(truth), error)) {
        std::remove(tmpVideo.c_str());
        return false;
    }
    fs::rename(tmpVideo, paths.video, ec);
    if (ec) {
        *error = "cannot rename " + tmpVideo + " to " + paths.video + ": " + ec.message();
        std::remove(tmpVideo.c_str());
        return false;
    }
    return true;
}

std::vector<SampleRequest> variedSet(const std::string& outDir, uint32_t seed) {
    struct Member {
        const char* script;
        int look, w, h;
        double fps;
        bool shortSleeves;
        double scale;
    };
    static const Member kMembers[] = {
        {"crossing", 1, 640, 480, 25, false, 1.0},  {"face", 2, 1280, 720, 30, true, 0.95},
        {"quick", 3, 960, 540, 25, false, 1.05},    {"mixed", 1, 800, 600, 30, true, 0.9},
        {"crossing", 2, 1280, 720, 25, true, 1.0},  {"face", 3, 640, 480, 30, false, 1.0},
        {"mixed", 0, 1024, 576, 25, true, 1.1},     {"quick", 0, 640, 480, 30, false, 0.85},
    };
    std::vector<SampleRequest> set;
    int i = 0;
    for (const Member& m : kMembers) {
        ++i;
        SampleRequest r;
        r.outDir = outDir;
        char name[64];
        std::snprintf(name, sizeof name, "signer%d-%s", i, m.script);
        r.name = name;
        r.scene.look = m.look;
        r.scene.script = m.script;
        r.scene.size = cv::Size(m.w, m.h);
        r.scene.fps = m.fps;
        r.scene.shortSleeves = m.shortSleeves;
        r.scene.personScale = m.scale;
        r.scene.seed = seed * 1000u + uint32_t(i);
        r.scene.variant = r.scene.seed;
        r.frames = SignerScene(r.scene).scriptFrames();
        set.push_back(r);
    }
    return set;
}

bool writeSet(const std::vector<SampleRequest>& set, const std::string& outDir, std::string* error,
              const std::function<void(const std::string&)>& progress) {
    std::string list;
    for (const SampleRequest& r : set) {
        if (!writeSample(r, error)) return false;
        list += r.name + "\n";
        if (progress) progress(r.name);
    }
    return writeTextFile((fs::path(outDir) / "set.list").string(), list, error);
}

} // namespace vsample
