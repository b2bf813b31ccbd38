#include "bench/fcpxml_generator.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace tessaly::bench {
namespace {

// std's distributions differ between standard libraries; this keeps the bytes identical everywhere.
class SplitMix64 {
public:
    explicit SplitMix64(std::uint64_t seed) : m_state(seed) {}
    std::uint64_t next() {
        std::uint64_t z = (m_state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    std::size_t below(std::size_t n) { return n == 0 ? 0 : static_cast<std::size_t>(next() % n); }
    bool chance(unsigned percent) { return below(100) < percent; }

private:
    std::uint64_t m_state;
};

constexpr int kMaxIndent = 40;

class Output {
public:
    explicit Output(const std::filesystem::path &file) : m_path(file) {
        m_file = std::fopen(file.c_str(), "wb");
        if (!m_file)
            fail();
        m_buffer.reserve(kFlushAt + 4096);
    }
    ~Output() {
        if (m_file)
            std::fclose(m_file);
    }
    Output(const Output &) = delete;
    Output &operator=(const Output &) = delete;

    Output &operator<<(std::string_view text) {
        m_buffer.append(text);
        m_written += text.size();
        if (m_buffer.size() >= kFlushAt)
            flush();
        return *this;
    }
    Output &operator<<(char c) { return *this << std::string_view(&c, 1); }
    Output &operator<<(std::size_t n) { return *this << std::string_view(std::to_string(n)); }
    Output &indent(int level) {
        static const std::string spaces(4 * kMaxIndent, ' ');
        return *this << std::string_view(spaces).substr(0, 4 * std::min(level, kMaxIndent));
    }

    std::size_t written() const { return m_written; }
    void close() {
        flush();
        if (std::fclose(m_file) != 0) {
            m_file = nullptr;
            fail();
        }
        m_file = nullptr;
    }

private:
    static constexpr std::size_t kFlushAt = 1u << 20;
    void flush() {
        if (!m_buffer.empty() &&
            std::fwrite(m_buffer.data(), 1, m_buffer.size(), m_file) != m_buffer.size())
            fail();
        m_buffer.clear();
    }
    [[noreturn]] void fail() const {
        throw std::runtime_error("cannot write " + m_path.string() + ": " + std::strerror(errno));
    }

    std::filesystem::path m_path;
    std::FILE *m_file = nullptr;
    std::string m_buffer;
    std::size_t m_written = 0;
};

constexpr std::size_t kFrame = 1001; // one frame at 23.976 fps, in 1/24000 s

struct Resource {
    std::string id;
    std::string stem;
};

class Generator {
public:
    Generator(const GeneratorOptions &options, Output &out)
        : m_options(options), m_rng(options.seed), m_out(out) {}

    GeneratorStats run() {
        m_out << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<!DOCTYPE fcpxml>\n\n"
                 "<fcpxml version=\"1.10\">\n";
        writeResources();
        writeLibrary();
        m_out << "</fcpxml>\n";
        return {m_out.written(), m_proxies.size(), m_brawAssets.size(), m_clips};
    }

private:
    std::string hex(std::size_t digits) {
        static constexpr char kHex[] = "0123456789ABCDEF";
        std::string s;
        s.reserve(digits);
        while (s.size() < digits) {
            std::uint64_t v = m_rng.next();
            for (int i = 0; i < 16 && s.size() < digits; ++i, v >>= 4)
                s.push_back(kHex[v & 15]);
        }
        return s;
    }
    std::string uuid() {
        std::string h = hex(32);
        return h.substr(0, 8) + '-' + h.substr(8, 4) + '-' + h.substr(12, 4) + '-' +
               h.substr(16, 4) + '-' + h.substr(20);
    }
    std::string bookmark() {
        static constexpr char kB64[] =
            "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
        std::string s = "Ym9va";
        std::size_t length = 600 + m_rng.below(400);
        while (s.size() < length) {
            std::uint64_t v = m_rng.next();
            for (int i = 0; i < 10 && s.size() < length; ++i, v >>= 6)
                s.push_back(kB64[v & 63]);
        }
        s.resize(length - length % 4);
        return s;
    }
    static std::string time(std::size_t frames) {
        return frames == 0 ? std::string("0s") : std::to_string(frames * kFrame) + "/24000s";
    }
    std::string newID() { return "r" + std::to_string(++m_lastID); }

    void writeResources() {
        m_out.indent(1) << "<resources>\n";
        m_proxyFormat = newID();
        m_out.indent(2) << "<format id=\"" << m_proxyFormat
                        << "\" name=\"FFVideoFormat1080p2398\" frameDuration=\"1001/24000s\" "
                           "width=\"1920\" height=\"1080\" colorSpace=\"1-1-1 (Rec. 709)\"/>\n";
        m_brawFormat = newID();
        m_out.indent(2) << "<format id=\"" << m_brawFormat
                        << "\" name=\"FFVideoFormatRateUndefined\" frameDuration=\"1001/24000s\" "
                           "width=\"6144\" height=\"3456\" colorSpace=\"1-1-1 (Rec. 709)\"/>\n";
        m_stillFormat = newID();
        m_out.indent(2) << "<format id=\"" << m_stillFormat
                        << "\" name=\"FFVideoFormatRateUndefined\" width=\"3840\" height=\"2160\" "
                           "colorSpace=\"1-13-1\"/>\n";
        writeEffects();

        std::size_t brawCount =
            std::max<std::size_t>(1, std::min<std::size_t>(50, m_options.proxies / 200));
        for (std::size_t i = 0; i < m_options.proxies; ++i) {
            writeAsset(i, false);
            if (i % (m_options.proxies / brawCount + 1) == 0 && m_brawAssets.size() < brawCount)
                writeAsset(m_brawAssets.size(), true);
        }
        while (m_brawAssets.size() < brawCount)
            writeAsset(m_brawAssets.size(), true);
        for (int i = 0; i < 3; ++i)
            writeCompound(i);
        m_out.indent(1) << "</resources>\n";
    }

    void writeEffects() {
        m_dissolve = newID();
        m_out.indent(2) << "<effect id=\"" << m_dissolve
                        << "\" name=\"Cross Dissolve\" "
                           "uid=\"FxPlug:4731E73A-8DAC-4113-9A30-AE85B1761265\"/>\n";
        m_blur = newID();
        m_out.indent(2) << "<effect id=\"" << m_blur
                        << "\" name=\"Gaussian Blur\" uid=\".../Effects.localized/Blur.localized/"
                           "Gaussian.localized/Gaussian.moef\"/>\n";
        m_colorBoard = newID();
        m_out.indent(2) << "<effect id=\"" << m_colorBoard
                        << "\" name=\"Color Board\" uid=\"FFCorrectionColorBoard\"/>\n";
        m_title = newID();
        m_out.indent(2)
            << "<effect id=\"" << m_title
            << "\" name='Basic Title' uid='.../Titles.localized/Bumper:Opener.localized/"
               "Basic Title.localized/Basic Title.moti'/>\n";
    }

    // Names mix plain stems with entities, single quotes and non-ASCII text, as editors rename
    // clips.
    void writeNameAttribute(const std::string &stem, std::size_t i) {
        switch (i % 11) {
        case 3:
            m_out << " name=\"Interview &amp; B-Roll " << stem << "\"";
            break;
        case 5:
            m_out << " name='Director&apos;s pick " << stem << "'";
            break;
        case 7:
            m_out << " name=\"Szene 4 – Straße " << stem << "\"";
            break;
        case 9:
            m_out << " name=\"カメラA " << stem << "\"";
            break;
        default:
            m_out << " name=\"" << stem << "\"";
        }
    }

    void writeAsset(std::size_t i, bool braw) {
        char stem[32];
        std::snprintf(stem, sizeof stem, braw ? "B%03zu_C%04zu" : "A%03zu_C%04zu", 1 + i / 1000,
                      1 + i % 1000);
        Resource r{newID(), stem};
        std::string uid = hex(32);
        std::size_t frames = 48 + m_rng.below(24 * 600);
        m_out.indent(2) << "<asset id=\"" << r.id << "\"";
        writeNameAttribute(r.stem, i);
        m_out << " uid=\"" << uid << "\" start=\"" << time(m_rng.below(86400 * 24))
              << "\" duration=\"" << time(frames) << "\" hasVideo=\"1\" format=\""
              << (braw ? m_brawFormat : m_proxyFormat)
              << "\" hasAudio=\"1\" videoSources=\"1\" audioSources=\"1\" audioChannels=\"2\" "
                 "audioRate=\"48000\">\n";
        static constexpr std::string_view kFolders[] = {"Day%201", "Day%202",
                                                        "Jour%203%20-%20Caf%C3%A9", "B-Roll"};
        m_out.indent(3) << "<media-rep kind=\"original-media\" sig=\"" << uid
                        << "\" src=\"file:///Volumes/Media/" << kFolders[i % 4] << '/' << r.stem
                        << (braw ? ".braw" : ".mov") << "\">\n";
        m_out.indent(4) << "<bookmark>" << bookmark() << "</bookmark>\n";
        m_out.indent(3) << "</media-rep>\n";
        m_out.indent(3) << "<metadata>\n";
        m_out.indent(4)
            << "<md key=\"com.apple.proapps.studio.rawToLogConversion\" value=\"0\"/>\n";
        m_out.indent(4) << "<md key=\"com.apple.proapps.spotlight.kMDItemProfileName\" "
                           "value=\"HD (1-1-1)\"/>\n";
        m_out.indent(4) << "<md key=\"com.apple.proapps.spotlight.kMDItemCodecs\">\n";
        m_out.indent(5) << "<array>\n";
        m_out.indent(6) << "<string>" << (braw ? "Blackmagic RAW" : "Apple ProRes 422 Proxy")
                        << "</string>\n";
        m_out.indent(6) << "<string>Linear PCM</string>\n";
        m_out.indent(5) << "</array>\n";
        m_out.indent(4) << "</md>\n";
        m_out.indent(4) << "<md key=\"com.apple.proapps.mio.ingestDate\" value=\"2024-03-1"
                        << i % 10 << " 09:26:53 +0100\"/>\n";
        m_out.indent(3) << "</metadata>\n";
        m_out.indent(2) << "</asset>\n";
        (braw ? m_brawAssets : m_proxies).push_back(std::move(r));
    }

    void writeCompound(int n) {
        std::string id = newID();
        m_compounds.push_back(id);
        m_out.indent(2) << "<media id=\"" << id << "\" name=\"Compound Clip " << std::size_t(n + 1)
                        << "\" uid=\"" << hex(32) << "\" modDate=\"2024-03-15 11:02:17 +0100\">\n";
        m_out.indent(3) << "<sequence format=\"" << m_proxyFormat
                        << "\" duration=\"240240/24000s\" tcStart=\"0s\" tcFormat=\"NDF\" "
                           "audioLayout=\"stereo\" audioRate=\"48k\">\n";
        m_out.indent(4) << "<spine>\n";
        std::size_t offset = 0;
        for (int i = 0; i < 4; ++i)
            offset += writeClip(5, offset, 1, 0);
        m_out.indent(4) << "</spine>\n";
        m_out.indent(3) << "</sequence>\n";
        m_out.indent(2) << "</media>\n";
    }

    const Resource &pickAsset() {
        if (m_rng.chance(8))
            return m_brawAssets[m_rng.below(m_brawAssets.size())];
        return m_proxies.empty() ? m_brawAssets[0] : m_proxies[m_rng.below(m_proxies.size())];
    }

    // What a clip carries is rolled before it is written, so that a clip without children
    // closes itself as Final Cut writes it.
    struct ClipExtras {
        bool transform, blur, colorBoard, marker, keyword;
        int nested; // 0: none, 1: a connected clip, 2: a connected storyline
    };

    ClipExtras rollExtras(int level, int depth) {
        ClipExtras x{m_rng.chance(60), m_rng.chance(45), m_rng.chance(20),
                     m_rng.chance(50), m_rng.chance(30), 0};
        if (depth < 6 && level + 3 < kMaxIndent && m_rng.chance(depth == 0 ? 35 : 25))
            x.nested = m_rng.chance(30) ? 2 : 1;
        return x;
    }

    void writeFilters(int level, const ClipExtras &x) {
        if (x.transform) {
            m_out.indent(level) << "<adjust-transform position=\"" << m_rng.below(200) << ".5 -"
                                << m_rng.below(90) << ".25\" scale=\"1.1 1.1\" anchor=\"0 0\"/>\n";
        }
        if (x.blur) {
            m_out.indent(level) << "<filter-video ref=\"" << m_blur
                                << "\" name=\"Gaussian Blur\">\n";
            m_out.indent(level + 1)
                << "<param name=\"Amount\" key=\"9999/gaussian/amount\" value=\"" << m_rng.below(50)
                << "\"/>\n";
            m_out.indent(level + 1)
                << "<param name=\"Mix\" key=\"9999/999166631/999166632/2/100\" value=\"1\"/>\n";
            m_out.indent(level) << "</filter-video>\n";
        }
        if (x.colorBoard) {
            m_out.indent(level) << "<filter-video ref=\"" << m_colorBoard
                                << "\" name=\"Color Board\">\n";
            for (std::string_view key :
                 {"Global Exposure", "Midtones Saturation", "Highlights Color"})
                m_out.indent(level + 1) << "<param name=\"" << key << "\" key=\"1/" << key.size()
                                        << "\" value=\"0." << m_rng.below(1000) << "\"/>\n";
            m_out.indent(level) << "</filter-video>\n";
        }
    }

    void writeAnnotations(int level, const ClipExtras &x, std::size_t start, std::size_t frames) {
        if (x.marker) {
            m_out.indent(level) << "<marker start=\"" << time(start + m_rng.below(frames))
                                << "\" duration=\"" << time(1) << "\" value=\"Take "
                                << m_rng.below(12)
                                << (m_rng.chance(30) ? " – good &amp; usable\"" : "\"") << "/>\n";
        }
        if (x.keyword) {
            m_out.indent(level) << "<keyword start=\"" << time(start) << "\" duration=\""
                                << time(frames) << "\" value='Interview, B-Roll, Caf&#233;'/>\n";
        }
    }

    // Returns the clip's length in frames; connected clips nest below it as Final Cut nests them.
    std::size_t writeClip(int level, std::size_t offset, int lane, int depth) {
        const Resource &asset = pickAsset();
        std::size_t frames = 24 + m_rng.below(24 * 20);
        std::size_t start = m_rng.below(24 * 3600);
        ClipExtras x = rollExtras(level, depth);
        ++m_clips;
        m_out.indent(level) << "<asset-clip ref=\"" << asset.id << "\"";
        if (lane != 0)
            m_out << " lane=\"" << std::string_view(std::to_string(lane)) << "\"";
        m_out << " offset=\"" << time(offset) << "\" name=\"" << asset.stem << "\" start=\""
              << time(start) << "\" duration=\"" << time(frames) << "\" format=\"" << m_proxyFormat
              << "\" tcFormat=\"NDF\" audioRole=\"dialogue\"";
        if (!(x.transform || x.blur || x.colorBoard || x.marker || x.keyword || x.nested)) {
            m_out << "/>\n";
            return frames;
        }
        m_out << ">\n";
        writeFilters(level + 1, x);
        writeAnnotations(level + 1, x, start, frames);
        if (x.nested == 2) {
            m_out.indent(level + 1) << "<spine lane=\"" << std::size_t(2 + depth) << "\" offset=\""
                                    << time(start) << "\">\n";
            std::size_t at = start;
            for (std::size_t i = 0, n = 2 + m_rng.below(3); i < n; ++i)
                at += writeClip(level + 2, at, 0, depth + 1);
            m_out.indent(level + 1) << "</spine>\n";
        } else if (x.nested == 1) {
            writeClip(level + 1, start + m_rng.below(frames), depth % 2 ? -1 : 1, depth + 1);
        }
        m_out.indent(level) << "</asset-clip>\n";
        return frames;
    }

    std::size_t writeSpineItem(int level, std::size_t offset) {
        std::size_t roll = m_rng.below(100);
        if (roll < 8) {
            std::size_t frames = 24 + m_rng.below(96);
            m_out.indent(level) << "<gap name=\"Gap\" offset=\"" << time(offset)
                                << "\" start=\"86400314/24000s\" duration=\"" << time(frames)
                                << "\">\n";
            writeClip(level + 1, 86400314 / kFrame, 1, 1);
            m_out.indent(level) << "</gap>\n";
            return frames;
        }
        if (roll < 11) {
            std::size_t frames = 24;
            m_out.indent(level) << "<transition name=\"Cross Dissolve\" offset=\"" << time(offset)
                                << "\" duration=\"" << time(frames) << "\">\n";
            m_out.indent(level + 1)
                << "<filter-video ref=\"" << m_dissolve << "\" name=\"Cross Dissolve\"/>\n";
            m_out.indent(level) << "</transition>\n";
            return 0;
        }
        if (roll < 13) {
            std::size_t frames = 240;
            m_out.indent(level) << "<ref-clip ref=\""
                                << m_compounds[m_rng.below(m_compounds.size())] << "\" offset=\""
                                << time(offset) << "\" name=\"Compound Clip\" duration=\""
                                << time(frames) << "\"/>\n";
            return frames;
        }
        if (roll < 15) {
            std::size_t frames = 96;
            std::string style = "ts" + std::to_string(++m_textStyles);
            m_out.indent(level) << "<title ref=\"" << m_title << "\" offset=\"" << time(offset)
                                << "\" name=\"Basic Title\" duration=\"" << time(frames) << "\">\n";
            m_out.indent(level + 1) << "<text>\n";
            m_out.indent(level + 2) << "<text-style ref=\"" << style
                                    << "\">Jour 3 – l&apos;arrivée &amp; « départ »</text-style>\n";
            m_out.indent(level + 1) << "</text>\n";
            m_out.indent(level + 1) << "<text-style-def id=\"" << style << "\">\n";
            m_out.indent(level + 2) << "<text-style font=\"Helvetica\" fontSize=\"63\" "
                                       "fontColor=\"1 1 1 1\" alignment=\"center\"/>\n";
            m_out.indent(level + 1) << "</text-style-def>\n";
            m_out.indent(level) << "</title>\n";
            return frames;
        }
        return writeClip(level, offset, 0, 0);
    }

    void writeLibrary() {
        static constexpr std::string_view kTail =
            "                    </spine>\n                </sequence>\n            </project>\n"
            "        </event>\n"
            "        <smart-collection name=\"Projects\" match=\"all\">\n"
            "            <match-clip rule=\"is\" type=\"project\"/>\n"
            "        </smart-collection>\n"
            "        <smart-collection name=\"Favorites\" match=\"all\">\n"
            "            <match-ratings value=\"favorites\"/>\n"
            "        </smart-collection>\n"
            "    </library>\n</fcpxml>\n";
        m_out.indent(1)
            << "<library location=\"file:///Users/editor/Movies/Feature%20Film.fcpbundle/\">\n";
        m_out.indent(2) << "<event name=\"Day 1 – Tournage\" uid=\"" << uuid() << "\">\n";
        m_out.indent(3) << "<project name=\"Main Cut\" uid=\"" << uuid()
                        << "\" modDate=\"2024-03-18 18:40:02 +0100\">\n";
        m_out.indent(4) << "<sequence format=\"" << m_proxyFormat
                        << "\" duration=\"86400000/24000s\" tcStart=\"0s\" tcFormat=\"NDF\" "
                           "audioLayout=\"stereo\" audioRate=\"48k\">\n";
        m_out.indent(5) << "<spine>\n";
        std::size_t offset = 0;
        // The closing tags (less the root's, which run() writes) are counted ahead of time.
        std::size_t tail = kTail.size() - std::string_view("</fcpxml>\n").size();
        while (m_out.written() + tail + 2048 < m_options.targetBytes)
            offset += writeSpineItem(6, offset);
        m_out << kTail.substr(0, tail);
    }

    GeneratorOptions m_options;
    SplitMix64 m_rng;
    Output &m_out;
    std::size_t m_lastID = 0;
    std::size_t m_clips = 0;
    std::size_t m_textStyles = 0;
    std::string m_proxyFormat, m_brawFormat, m_stillFormat;
    std::string m_dissolve, m_blur, m_colorBoard, m_title;
    std::vector<Resource> m_proxies, m_brawAssets;
    std::vector<std::string> m_compounds;
};

} // namespace

GeneratorStats generateFcpxml(const GeneratorOptions &options, const std::filesystem::path &file) {
    Output out(file);
    GeneratorStats stats = Generator(options, out).run();
    out.close();
    return stats;
}

} // namespace tessaly::bench
