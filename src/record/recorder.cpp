#include "record/recorder.h"

#include <fcntl.h>
#include <gst/app/gstappsink.h>
#include <gst/app/gstappsrc.h>
#include <gst/gst.h>
#include <gst/video/video.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstring>
#include <vector>

#include "record/gif_writer.h"

namespace glimmora::record {

namespace {
// Which Debian package holds each element we use.
struct ElementPackage {
    const char* element;
    const char* package;
};
const ElementPackage kPackages[] = {
    {"ximagesrc", "gstreamer1.0-plugins-good"},
    {"appsrc", "gstreamer1.0-plugins-base"},
    {"appsink", "gstreamer1.0-plugins-base"},
    {"videoconvert", "gstreamer1.0-plugins-base"},
    {"videocrop", "gstreamer1.0-plugins-good"},
    {"vp9enc", "gstreamer1.0-plugins-good"},
    {"webmmux", "gstreamer1.0-plugins-good"},
    {"x264enc", "gstreamer1.0-plugins-ugly"},
    {"h264parse", "gstreamer1.0-plugins-bad"},
    {"mp4mux", "gstreamer1.0-plugins-good"},
    {"queue", "libgstreamer1.0-0"},
    {"capsfilter", "libgstreamer1.0-0"},
    {"filesink", "libgstreamer1.0-0"},
};

const char* PackageOf(const std::string& element) {
    for (const ElementPackage& p : kPackages)
        if (element == p.element) return p.package;
    return "gstreamer1.0-plugins-good";
}

std::vector<std::string> ElementsFor(const CastSource& source, Format format) {
    std::vector<std::string> names{source.kind == CastSource::Kind::XImage ? "ximagesrc" : "appsrc",
                                   "capsfilter", "queue", "videoconvert"};
    switch (format) {
        case Format::WebM:
            names.insert(names.end(), {"vp9enc", "webmmux", "filesink"});
            break;
        case Format::Mp4:
            names.insert(names.end(), {"videocrop", "x264enc", "h264parse", "mp4mux", "filesink"});
            break;
        case Format::Gif:
            names.push_back("appsink");
            break;
    }
    return names;
}

bool InitGstreamer(std::string* error) {
    static bool ok = false;
    static std::string why;
    static std::once_flag once;
    std::call_once(once, [] {
        GError* e = nullptr;
        ok = gst_init_check(nullptr, nullptr, &e);
        if (!ok) why = std::string("GStreamer could not start: ") + (e ? e->message : "unknown reason");
        if (e) g_error_free(e);
    });
    if (!ok && error) *error = why;
    return ok;
}

// GStreamer's message, with the system's reason from the debug text when it has one.
std::string ErrorText(GError* error, const gchar* debug) {
    std::string text = error && error->message ? error->message : "unknown error";
    if (debug) {
        const char* system = std::strstr(debug, "system error: ");
        if (system) text += std::string(" (") + (system + std::strlen("system error: ")) + ")";
    }
    return text;
}
// A third of a bit per pixel: a ceiling the quality settings stay under on a screen's content.
int BitRateCap(int width, int height, int fps) {
    const int64_t bits = static_cast<int64_t>(width) * height * fps / 3;
    return static_cast<int>(std::clamp<int64_t>(bits, 500'000, 200'000'000));
}

void LinkDemuxed(GstElement*, GstPad* pad, gpointer sink) {
    GstPad* target = gst_element_get_static_pad(GST_ELEMENT(sink), "sink");
    if (!gst_pad_is_linked(target)) gst_pad_link(pad, target);
    gst_object_unref(target);
}

GstPadProbeReturn CountBuffer(GstPad*, GstPadProbeInfo*, gpointer count) {
    ++*static_cast<int64_t*>(count);
    return GST_PAD_PROBE_OK;
}

// The frames a muxer's demuxer reads from a file that was cut short: what a player will show of it.
int64_t ReadableFrames(const std::string& path, Format format) {
    GstElement* pipeline = gst_pipeline_new("glimmora-check");
    GstElement* src = gst_element_factory_make("filesrc", nullptr);
    GstElement* demux =
        gst_element_factory_make(format == Format::Mp4 ? "qtdemux" : "matroskademux", nullptr);
    GstElement* sink = gst_element_factory_make("fakesink", nullptr);
    int64_t frames = 0;
    if (!src || !demux || !sink) {
        for (GstElement* e : {src, demux, sink})
            if (e) gst_object_unref(e);
        gst_object_unref(pipeline);
        return 0;
    }
    gst_bin_add_many(GST_BIN(pipeline), src, demux, sink, nullptr);
    g_object_set(src, "location", path.c_str(), nullptr);
    g_object_set(sink, "sync", FALSE, nullptr);
    gst_element_link(src, demux);
    g_signal_connect(demux, "pad-added", G_CALLBACK(LinkDemuxed), sink);
    GstPad* pad = gst_element_get_static_pad(sink, "sink");
    gst_pad_add_probe(pad, GST_PAD_PROBE_TYPE_BUFFER, CountBuffer, &frames, nullptr);
    gst_object_unref(pad);
    if (gst_element_set_state(pipeline, GST_STATE_PLAYING) != GST_STATE_CHANGE_FAILURE) {
        GstBus* bus = gst_element_get_bus(pipeline);
        GstMessage* end = gst_bus_timed_pop_filtered(
            bus, 30 * GST_SECOND, static_cast<GstMessageType>(GST_MESSAGE_EOS | GST_MESSAGE_ERROR));
        if (end) gst_message_unref(end);
        gst_object_unref(bus);
    }
    gst_element_set_state(pipeline, GST_STATE_NULL);
    gst_object_unref(pipeline);
    return frames;
}
}  // namespace

bool FormatFromPath(const std::string& path, Format& out) {
    const size_t dot = path.rfind('.');
    if (dot == std::string::npos || path.find('/', dot) != std::string::npos) return false;
    std::string ext = path.substr(dot + 1);
    for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (ext == "webm")
        out = Format::WebM;
    else if (ext == "mp4")
        out = Format::Mp4;
    else if (ext == "gif")
        out = Format::Gif;
    else
        return false;
    return true;
}

const char* FormatName(Format format) {
    switch (format) {
        case Format::WebM:
            return "WebM (VP9)";
        case Format::Mp4:
            return "MP4 (H.264)";
        case Format::Gif:
            return "GIF";
    }
    return "";
}

std::string MissingElements(const CastSource& source, Format format) {
    std::string error;
    if (!InitGstreamer(&error)) return error;
    std::string missing;
    for (const std::string& name : ElementsFor(source, format)) {
        GstElementFactory* factory = gst_element_factory_find(name.c_str());
        if (factory) {
            gst_object_unref(factory);
            continue;
        }
        if (!missing.empty()) missing += ", ";
        missing += name + " (" + PackageOf(name) + ")";
    }
    return missing;
}

struct Recorder::Impl {
    CastSource source;
    RecordOptions options;
    GstElement* pipeline = nullptr;
    GstElement* src = nullptr;
    GstElement* queue = nullptr;

    std::function<void(const std::string&)> onError;
    std::function<void(const RecordResult&)> onFinished;

    mutable std::mutex mutex;
    std::condition_variable changed;
    RecordState state = RecordState::Idle;
    bool stopAsked = false, eos = false, failed = false, errorFromSource = false;
    std::string error;
    RecordResult result;
    std::thread control, feeder;

    // Frame times, kept by the probe on the source's pad (a streaming thread).
    std::atomic<bool> paused{false};
    std::atomic<bool> resumed{false};           // the next frame after a pause closes its gap
    GstClockTime offset = GST_CLOCK_TIME_NONE;  // subtracted from every time: the start and the pauses
    GstClockTime lastPts = 0;
    GstClockTime frameNs = 0;
    std::atomic<int64_t> captured{0}, encoded{0};
    std::atomic<uint64_t> elapsedNs{0};

    GifSpool spool;

    ~Impl() { Release(); }
    void Release() {
        if (pipeline) {
            gst_element_set_state(pipeline, GST_STATE_NULL);
            gst_object_unref(pipeline);
        }
        pipeline = src = queue = nullptr;
    }

    void Fail(const std::string& why, bool fromSource) {
        std::lock_guard lock(mutex);
        if (!failed) {
            failed = true;
            error = why;
            errorFromSource = fromSource;
        }
        changed.notify_all();
    }

    static GstBusSyncReply OnMessage(GstBus*, GstMessage* message, gpointer data) {
        Impl* d = static_cast<Impl*>(data);
        switch (GST_MESSAGE_TYPE(message)) {
            case GST_MESSAGE_EOS: {
                std::lock_guard lock(d->mutex);
                d->eos = true;
                d->changed.notify_all();
                break;
            }
            case GST_MESSAGE_ERROR: {
                GError* e = nullptr;
                gchar* debug = nullptr;
                gst_message_parse_error(message, &e, &debug);
                d->Fail(ErrorText(e, debug), GST_MESSAGE_SRC(message) == GST_OBJECT(d->src));
                if (e) g_error_free(e);
                g_free(debug);
                break;
            }
            default:
                break;
        }
        return GST_BUS_DROP;
    }

    // On the source's pad: leaves out the frames of a pause and closes its gap, starts time at 0.
    static GstPadProbeReturn OnFrame(GstPad*, GstPadProbeInfo* info, gpointer data) {
        Impl* d = static_cast<Impl*>(data);
        if (d->paused) return GST_PAD_PROBE_DROP;
        GstBuffer* buffer = GST_PAD_PROBE_INFO_BUFFER(info);
        const GstClockTime pts = GST_BUFFER_PTS(buffer);
        if (!GST_CLOCK_TIME_IS_VALID(pts)) return GST_PAD_PROBE_OK;
        if (!GST_CLOCK_TIME_IS_VALID(d->offset)) d->offset = pts;
        if (d->resumed.exchange(false)) {
            const GstClockTime next = d->lastPts + d->frameNs;
            if (pts - d->offset > next) d->offset = pts - next;
        }
        buffer = gst_buffer_make_writable(buffer);
        GST_BUFFER_PTS(buffer) = pts - d->offset;
        GST_BUFFER_DTS(buffer) = GST_CLOCK_TIME_NONE;
        GST_BUFFER_DURATION(buffer) = d->frameNs;
        GST_PAD_PROBE_INFO_DATA(info) = buffer;
        d->lastPts = pts - d->offset;
        d->elapsedNs = d->lastPts + d->frameNs;
        ++d->captured;
        return GST_PAD_PROBE_OK;
    }

    static GstPadProbeReturn OnEncoded(GstPad*, GstPadProbeInfo*, gpointer data) {
        ++static_cast<Impl*>(data)->encoded;
        return GST_PAD_PROBE_OK;
    }

    static GstFlowReturn OnGifSample(GstAppSink* sink, gpointer data) {
        Impl* d = static_cast<Impl*>(data);
        GstSample* sample = gst_app_sink_pull_sample(sink);
        if (!sample) return GST_FLOW_EOS;
        GstVideoInfo info;
        GstBuffer* buffer = gst_sample_get_buffer(sample);
        GstMapInfo map;
        GstFlowReturn flow = GST_FLOW_OK;
        if (gst_video_info_from_caps(&info, gst_sample_get_caps(sample)) &&
            gst_buffer_map(buffer, &map, GST_MAP_READ)) {
            std::string why;
            if (!d->spool.Add(map.data, GST_VIDEO_INFO_PLANE_STRIDE(&info, 0), GST_BUFFER_PTS(buffer),
                              &why)) {
                d->Fail(why, false);
                flow = GST_FLOW_ERROR;
            }
            gst_buffer_unmap(buffer, &map);
        }
        gst_sample_unref(sample);
        return flow;
    }

    GstElement* Make(const char* factory) {
        GstElement* e = gst_element_factory_make(factory, nullptr);
        if (e) gst_bin_add(GST_BIN(pipeline), e);
        return e;
    }

    bool Build(std::string* why);
    void Feed();
    void Control();
};

bool Recorder::Impl::Build(std::string* why) {
    pipeline = gst_pipeline_new("glimmora-recording");
    const int fps = options.fps;
    frameNs = static_cast<GstClockTime>(GST_SECOND / static_cast<GstClockTime>(fps));
    const int width = source.size.width, height = source.size.height;
    GstCaps* rate = nullptr;
    if (source.kind == CastSource::Kind::XImage) {
        src = Make("ximagesrc");
        if (!source.display.empty()) g_object_set(src, "display-name", source.display.c_str(), nullptr);
        // Damage events make ximagesrc copy only what changed into an old frame; Xvfb and some
        // drivers report damage late, so every frame is read whole.
        g_object_set(src, "use-damage", FALSE, "show-pointer", source.cursor ? TRUE : FALSE, nullptr);
        if (source.xid) {
            g_object_set(src, "xid", static_cast<guint64>(source.xid), nullptr);
        } else {
            g_object_set(src, "startx", static_cast<guint>(source.rect.left), "starty",
                         static_cast<guint>(source.rect.top), "endx",
                         static_cast<guint>(source.rect.right - 1), "endy",
                         static_cast<guint>(source.rect.bottom - 1), nullptr);
        }
        rate = gst_caps_new_simple("video/x-raw", "framerate", GST_TYPE_FRACTION, fps, 1, nullptr);
    } else {
        src = Make("appsrc");
        rate = gst_caps_new_simple("video/x-raw", "format", G_TYPE_STRING, "BGRx", "width", G_TYPE_INT, width,
                                   "height", G_TYPE_INT, height, "framerate", GST_TYPE_FRACTION, fps, 1,
                                   nullptr);
        g_object_set(src, "caps", rate, "is-live", TRUE, "do-timestamp", TRUE, "format", GST_FORMAT_TIME,
                     nullptr);
    }
    GstElement* rateFilter = Make("capsfilter");
    g_object_set(rateFilter, "caps", rate, nullptr);
    gst_caps_unref(rate);
    queue = Make("queue");
    GstElement* convert = Make("videoconvert");
    if (!src || !rateFilter || !queue || !convert) {
        if (why) *why = "GStreamer's basic elements could not be made";
        return false;
    }
    g_object_set(convert, "n-threads", std::clamp(g_get_num_processors(), 1u, 4u), nullptr);
    std::vector<GstElement*> chain{src, rateFilter, queue};
    const char* rawFormat = "I420";
    GstElement* sink = nullptr;
    switch (options.format) {
        case Format::WebM: {
            // A slow encoder loses frames (counted as dropped) instead of memory.
            g_object_set(queue, "leaky", 2, "max-size-buffers", 0u, "max-size-bytes", 0u, "max-size-time",
                         2 * GST_SECOND, nullptr);
            chain.push_back(convert);
            GstElement* encoder = Make("vp9enc");
            GstElement* mux = Make("webmmux");
            sink = Make("filesink");
            if (!encoder || !mux || !sink) break;
            // Real-time speed; constrained quality: 1..100 onto VP9's quantiser 58..4, the bit rate only
            // capped (GStreamer's vpxenc has no pure quality mode; its default cap of 256 kbit/s smears
            // a moving screen).
            const int level = static_cast<int>(std::lround(4 + (100 - options.quality) * 0.54));
            gst_util_set_object_arg(G_OBJECT(encoder), "end-usage", "cq");
            g_object_set(encoder, "deadline", static_cast<gint64>(1), "cpu-used", 8, "cq-level", level,
                         "target-bitrate", BitRateCap(width, height, fps), "min-quantizer", 0,
                         "max-quantizer", 63, "lag-in-frames", 0, "row-mt", TRUE, "threads",
                         static_cast<int>(std::clamp(g_get_num_processors(), 1u, 8u)), "keyframe-max-dist",
                         2 * fps, nullptr);
            for (GstElement* e : {encoder, mux, sink}) chain.push_back(e);
            break;
        }
        case Format::Mp4: {
            g_object_set(queue, "leaky", 2, "max-size-buffers", 0u, "max-size-bytes", 0u, "max-size-time",
                         2 * GST_SECOND, nullptr);
            // 4:2:0 needs even sizes: an odd last column or row is left out.
            if (width % 2 || height % 2) {
                GstElement* crop = Make("videocrop");
                if (!crop) break;
                g_object_set(crop, "right", width % 2, "bottom", height % 2, nullptr);
                chain.push_back(crop);
            }
            chain.push_back(convert);
            GstElement* encoder = Make("x264enc");
            GstElement* parse = Make("h264parse");
            GstElement* mux = Make("mp4mux");
            sink = Make("filesink");
            if (!encoder || !parse || !mux || !sink) break;
            const int quantizer = static_cast<int>(std::lround(10 + (100 - options.quality) * 0.35));
            gst_util_set_object_arg(G_OBJECT(encoder), "speed-preset", "veryfast");
            gst_util_set_object_arg(G_OBJECT(encoder), "tune", "zerolatency");
            gst_util_set_object_arg(G_OBJECT(encoder), "pass", "qual");
            // x264enc caps even its quality mode at `bitrate` (2048 kbit/s by default): the same cap as
            // VP9's.
            g_object_set(encoder, "quantizer", quantizer, "key-int-max", 2 * fps, "bitrate",
                         static_cast<guint>(BitRateCap(width, height, fps) / 1000), nullptr);
            // Fragments of one second, each complete on the disk once written: a recording cut short
            // (a full disk, a kill) plays up to its last whole fragment, where a plain MP4 needs its
            // index written at the end and would not play at all.
            g_object_set(mux, "fragment-duration", 1000u, nullptr);
            for (GstElement* e : {encoder, parse, mux, sink}) chain.push_back(e);
            break;
        }
        case Format::Gif: {
            // The spool keeps up with any frame rate a screen gives; nothing is dropped here.
            g_object_set(queue, "max-size-buffers", 0u, "max-size-bytes", 256u << 20, "max-size-time",
                         static_cast<guint64>(0), nullptr);
            chain.push_back(convert);
            rawFormat = "RGBx";
            sink = Make("appsink");
            if (!sink) break;
            GstAppSinkCallbacks callbacks{};
            callbacks.new_sample = OnGifSample;
            gst_app_sink_set_callbacks(GST_APP_SINK(sink), &callbacks, this, nullptr);
            g_object_set(sink, "sync", FALSE, "max-buffers", 0u, nullptr);
            chain.push_back(sink);
            break;
        }
    }
    if (!sink) {
        if (why)
            *why =
                "GStreamer's elements for " + std::string(FormatName(options.format)) + " could not be made";
        return false;
    }
    // Unbuffered: each cluster or fragment is on the disk as soon as the muxer hands it over, so a killed
    // recording keeps it (filesink's own 64 KiB buffer held a second or more of a calm screen).
    if (options.format != Format::Gif) {
        g_object_set(sink, "location", options.path.c_str(), "async", FALSE, nullptr);
        gst_util_set_object_arg(G_OBJECT(sink), "buffer-mode", "unbuffered");
    }
    // The raw format the encoder takes, right after the conversion.
    GstElement* formatFilter = gst_element_factory_make("capsfilter", nullptr);
    gst_bin_add(GST_BIN(pipeline), formatFilter);
    GstCaps* caps = gst_caps_new_simple("video/x-raw", "format", G_TYPE_STRING, rawFormat, nullptr);
    g_object_set(formatFilter, "caps", caps, nullptr);
    gst_caps_unref(caps);
    chain.insert(std::find(chain.begin(), chain.end(), convert) + 1, formatFilter);
    for (size_t i = 0; i + 1 < chain.size(); ++i) {
        if (!gst_element_link(chain[i], chain[i + 1])) {
            if (why)
                *why = std::string("GStreamer could not link ") + GST_ELEMENT_NAME(chain[i]) + " to " +
                       GST_ELEMENT_NAME(chain[i + 1]);
            return false;
        }
    }
    GstPad* pad = gst_element_get_static_pad(rateFilter, "src");
    gst_pad_add_probe(pad, GST_PAD_PROBE_TYPE_BUFFER, OnFrame, this, nullptr);
    gst_object_unref(pad);
    pad = gst_element_get_static_pad(formatFilter, "src");
    gst_pad_add_probe(pad, GST_PAD_PROBE_TYPE_BUFFER, OnEncoded, this, nullptr);
    gst_object_unref(pad);
    GstBus* bus = gst_element_get_bus(pipeline);
    gst_bus_set_sync_handler(bus, OnMessage, this, nullptr);
    gst_object_unref(bus);
    return true;
}

// Frames grabbed by the platform, pushed at the frame rate; a late grab skips frames rather than
// bunching them.
void Recorder::Impl::Feed() {
    using Clock = std::chrono::steady_clock;
    const auto period = std::chrono::nanoseconds(frameNs);
    auto next = Clock::now();
    Image image;
    for (;;) {
        {
            std::unique_lock lock(mutex);
            if (changed.wait_until(lock, next, [&] { return stopAsked || failed; })) break;
        }
        next += period;
        if (Clock::now() > next) next = Clock::now() + period;
        if (paused) continue;
        if (!source.grab || !source.grab(image) || image.Width() != source.size.width ||
            image.Height() != source.size.height) {
            std::lock_guard lock(mutex);
            if (result.note.empty())
                result.note = source.goneReason.empty() ? "the screen could not be read" : source.goneReason;
            break;
        }
        const int w = image.Width(), h = image.Height(), bytes = image.Depth() / 8;
        GstBuffer* buffer = gst_buffer_new_allocate(nullptr, static_cast<gsize>(w) * 4 * h, nullptr);
        GstMapInfo map;
        gst_buffer_map(buffer, &map, GST_MAP_WRITE);
        for (int y = 0; y < h; ++y) {
            const uint8_t* row = image.Row(y);
            uint8_t* out = map.data + static_cast<size_t>(y) * w * 4;
            if (bytes == 4) {
                std::memcpy(out, row, static_cast<size_t>(w) * 4);
            } else {
                for (int x = 0; x < w; ++x, row += bytes, out += 4) {
                    out[0] = row[0];
                    out[1] = row[1];
                    out[2] = row[2];
                    out[3] = 255;
                }
            }
        }
        gst_buffer_unmap(buffer, &map);
        if (gst_app_src_push_buffer(GST_APP_SRC(src), buffer) != GST_FLOW_OK) break;
    }
    gst_app_src_end_of_stream(GST_APP_SRC(src));
}

void Recorder::Impl::Control() {
    using Clock = std::chrono::steady_clock;
    bool eosSent = false, eosPushed = false;
    Clock::time_point deadline{};
    bool gone = false;
    for (;;) {
        std::unique_lock lock(mutex);
        changed.wait_for(lock, std::chrono::milliseconds(100));
        if (eos) break;
        if (!gone && source.alive) {
            lock.unlock();
            gone = !source.alive();
            lock.lock();
            if (gone) {
                if (result.note.empty()) result.note = source.goneReason;
                stopAsked = true;
            }
        }
        if (failed) {
            // The source failing because its window went is the end the user expects: the frames so far
            // are finished as after a stop, pushed past the source.
            if (errorFromSource && !eosPushed && source.alive) {
                lock.unlock();
                const bool nowGone = gone || !source.alive();
                lock.lock();
                if (nowGone) {
                    if (result.note.empty()) result.note = source.goneReason;
                    failed = false;
                    error.clear();
                    eosPushed = eosSent = true;
                    deadline = Clock::now() + std::chrono::seconds(20);
                    lock.unlock();
                    GstPad* pad = gst_element_get_static_pad(queue, "sink");
                    gst_pad_send_event(pad, gst_event_new_eos());
                    gst_object_unref(pad);
                    continue;
                }
            }
            break;
        }
        if (stopAsked && !eosSent) {
            eosSent = true;
            deadline = Clock::now() + std::chrono::seconds(20);
            lock.unlock();
            if (source.kind == CastSource::Kind::XImage) gst_element_send_event(src, gst_event_new_eos());
            // The feeder ends the stream itself when it sees the stop.
            changed.notify_all();
            continue;
        }
        if (eosSent && Clock::now() > deadline) {
            failed = true;
            error = "the encoder did not finish the file in time";
            break;
        }
    }
    {
        std::lock_guard lock(mutex);
        state = RecordState::Finishing;
        stopAsked = true;
        changed.notify_all();
    }
    if (feeder.joinable()) feeder.join();
    const bool ended = eos;
    if (pipeline) gst_element_set_state(pipeline, GST_STATE_NULL);
    std::string why = error;
    bool playable = ended;
    if (options.format == Format::Gif) {
        spool.End(elapsedNs);
        std::string gifError;
        int64_t written = 0;
        if (!spool.WriteGif(options.path, options.quality, &gifError, &written))
            why = why.empty() ? gifError : why + "; " + gifError;
        playable = written > 0;
    } else if (!ended) {
        // Whole fragments (MP4) and clusters (WebM) on the disk play: read back, as a player would.
        playable = ReadableFrames(options.path, options.format) > 0;
    }
    RecordResult r;
    {
        std::lock_guard lock(mutex);
        r.note = result.note;
    }
    r.ok = why.empty() && playable;
    r.error = why;
    r.playable = playable;
    r.seconds = static_cast<double>(elapsedNs.load()) / 1e9;
    r.frames = encoded;
    const int64_t expected = std::llround(r.seconds * options.fps);
    r.dropped = std::max<int64_t>(0, expected - r.frames);
    if (!r.ok && onError) onError(r.error.empty() ? "the recording could not be finished" : r.error);
    {
        std::lock_guard lock(mutex);
        result = r;
        state = RecordState::Finished;
        changed.notify_all();
    }
    if (onFinished) onFinished(r);
}

Recorder::Recorder() : impl_(std::make_unique<Impl>()) {}

Recorder::~Recorder() {
    Stop();
    Wait(-1);
    if (impl_->control.joinable()) impl_->control.join();
}

void Recorder::OnError(std::function<void(const std::string&)> callback) {
    impl_->onError = std::move(callback);
}
void Recorder::OnFinished(std::function<void(const RecordResult&)> callback) {
    impl_->onFinished = std::move(callback);
}

bool Recorder::Start(const CastSource& source, const RecordOptions& options, std::string* error) {
    Impl& d = *impl_;
    auto fail = [&](const std::string& why) {
        if (error) *error = why;
        d.Release();
        return false;
    };
    if (d.state != RecordState::Idle) return fail("a recording is already under way");
    if (options.fps < 1 || options.fps > 120) return fail("the frame rate must lie between 1 and 120");
    if (options.quality < 1 || options.quality > 100) return fail("the quality must lie between 1 and 100");
    if (!InitGstreamer(error)) return false;
    const std::string missing = MissingElements(source, options.format);
    if (!missing.empty())
        return fail("GStreamer lacks what " + std::string(FormatName(options.format)) +
                    " recording needs: " + missing + "; install the package named");
    // The file is written where it will stay: a recording cut short keeps what it has. One made here for
    // a recording that then does not start goes again.
    const bool existed = access(options.path.c_str(), F_OK) == 0;
    const int fd = open(options.path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) return fail("cannot write " + options.path + ": " + std::strerror(errno));
    auto failMade = [&](const std::string& why) {
        if (!existed) unlink(options.path.c_str());
        return fail(why);
    };
    // A GIF is written at the end: room for its first frame is kept, so a disk the recording fills
    // still takes it.
    if (options.format == Format::Gif) {
        const off_t reserve = static_cast<off_t>(source.size.width) * source.size.height + 4096;
        const int status = posix_fallocate(fd, 0, reserve);
        if (status != 0 && status != EOPNOTSUPP && status != EINVAL) {
            close(fd);
            return failMade("no room for the recording beside " + options.path + ": " +
                            std::strerror(status));
        }
    }
    close(fd);
    d.source = source;
    d.options = options;
    std::string why;
    if (options.format == Format::Gif &&
        !d.spool.Open(options.path, source.size.width, source.size.height, &why))
        return failMade(why);
    if (!d.Build(&why)) return failMade(why);
    if (gst_element_set_state(d.pipeline, GST_STATE_PLAYING) == GST_STATE_CHANGE_FAILURE) {
        std::lock_guard lock(d.mutex);
        why = d.error.empty() ? "GStreamer could not start the recording" : d.error;
        d.failed = false;
        d.error.clear();
        return failMade(why);
    }
    d.state = RecordState::Recording;
    if (source.kind == CastSource::Kind::Frames) d.feeder = std::thread([&d] { d.Feed(); });
    d.control = std::thread([&d] { d.Control(); });
    return true;
}

void Recorder::Pause() {
    std::lock_guard lock(impl_->mutex);
    if (impl_->state != RecordState::Recording) return;
    impl_->paused = true;
    // Also where no frame comes while paused (the platform's frames are not even grabbed then).
    impl_->resumed = true;
    impl_->state = RecordState::Paused;
}

void Recorder::Resume() {
    std::lock_guard lock(impl_->mutex);
    if (impl_->state != RecordState::Paused) return;
    impl_->paused = false;
    impl_->state = RecordState::Recording;
}

void Recorder::Stop() {
    std::lock_guard lock(impl_->mutex);
    impl_->paused = false;
    impl_->stopAsked = true;
    impl_->changed.notify_all();
}

bool Recorder::Wait(int timeoutMs) {
    std::unique_lock lock(impl_->mutex);
    auto done = [&] { return impl_->state == RecordState::Finished || impl_->state == RecordState::Idle; };
    if (timeoutMs < 0)
        impl_->changed.wait(lock, done);
    else
        impl_->changed.wait_for(lock, std::chrono::milliseconds(timeoutMs), done);
    const bool finished = done();
    lock.unlock();
    if (finished && impl_->control.joinable() && impl_->control.get_id() != std::this_thread::get_id())
        impl_->control.join();
    return finished;
}

RecordState Recorder::State() const {
    std::lock_guard lock(impl_->mutex);
    return impl_->state;
}

double Recorder::Elapsed() const {
    return static_cast<double>(impl_->elapsedNs.load()) / 1e9;
}
int64_t Recorder::Frames() const {
    return impl_->encoded;
}

RecordResult Recorder::Result() const {
    std::lock_guard lock(impl_->mutex);
    return impl_->result;
}

}  // namespace glimmora::record
