#include "tags/id3v2/Convert.h"

#include "tags/TagText.h"
#include "tags/id3v2/Layout.h"

#include <algorithm>
#include <optional>

namespace quillon::id3v2 {

namespace {

// A text list's last string is empty when the list ends in a terminator,
// as some writers end every text; re-encoded, it would be a string of its own.
void dropEndingTerminator(FrameValue& value) {
    if (value.texts.size() > 1 && value.texts.back().empty())
        value.texts.pop_back();
}

bool digits(std::string_view text, std::size_t count) {
    return text.size() == count &&
           std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// The first string of a text frame's content, trimmed; nothing when it does
// not read.
std::optional<std::string> firstText(const FrameToConvert& frame) {
    if (!frame.readable)
        return std::nullopt;
    const std::optional<FrameValue> value = decodeFrame(layoutOf(LayoutKind::Text), frame.content);
    if (!value)
        return std::nullopt;
    return trimControls(value->texts.empty() ? std::string() : value->texts.front());
}

// A text frame holding `texts`, as `to` writes it.
void appendTextFrame(Bytes& out, std::string_view id, std::vector<std::string> texts,
                     const Revision& to) {
    FrameValue value;
    value.texts = std::move(texts);
    const Bytes data = encodeFrame(layoutOf(LayoutKind::Text), value, to);
    appendFramed(out, id, data.data(), data.size(), to);
}

std::string loss(std::string_view id, std::string_view why) {
    std::string out(id);
    out += ": ";
    out += why;
    return out;
}

// The layout of a frame whose texts 2.3 may have to re-encode.
std::optional<LayoutKind> encodedLayout(std::string_view id) {
    if (id == "TXXX")
        return LayoutKind::UserText;
    if (id == "COMM")
        return LayoutKind::Comment;
    if (id == "USLT")
        return LayoutKind::Lyrics;
    if (id == "WXXX")
        return LayoutKind::Link;
    if (id == "APIC")
        return LayoutKind::Picture;
    if (id == "IPLS" || (!id.empty() && id[0] == 'T'))
        return LayoutKind::Text;
    return std::nullopt;
}

// The date of TYER, TDAT and TIME as TDRC's timestamp.
struct Date23 {
    std::optional<std::string> year, dayMonth, time;
};

std::string timestampOf(const Date23& date, std::vector<std::string>& losses) {
    std::string stamp = *date.year;
    const bool fullYear = digits(stamp, 4);
    const bool dayMonth = fullYear && date.dayMonth && digits(*date.dayMonth, 4);
    if (date.dayMonth && !dayMonth)
        losses.push_back(loss("TDAT", "no day and month of a year, dropped"));
    if (dayMonth) {
        stamp += '-';
        stamp += date.dayMonth->substr(2, 2);
        stamp += '-';
        stamp += date.dayMonth->substr(0, 2);
    }
    const bool time = dayMonth && date.time && digits(*date.time, 4);
    if (date.time && !time)
        losses.push_back(loss("TIME", "no time of a day, dropped"));
    if (time) {
        stamp += 'T';
        stamp += date.time->substr(0, 2);
        stamp += ':';
        stamp += date.time->substr(2, 2);
    }
    return stamp;
}

// TDRC's timestamp as TYER, TDAT and TIME ("yyyy-MM-ddTHH:mm:ss", each part
// after the year optional). A text that is no timestamp goes to TYER whole.
Date23 dateOf(const std::string& stamp, std::vector<std::string>& losses) {
    Date23 date;
    if (stamp.size() < 4 || !digits(stamp.substr(0, 4), 4)) {
        date.year = stamp;
        return date;
    }
    date.year = stamp.substr(0, 4);
    auto part = [&](std::size_t at, std::string_view separators) -> std::optional<std::string> {
        if (stamp.size() < at + 3 || separators.find(stamp[at]) == std::string_view::npos ||
            !digits(stamp.substr(at + 1, 2), 2))
            return std::nullopt;
        return stamp.substr(at + 1, 2);
    };
    const auto month = part(4, "-");
    const auto day = month ? part(7, "-") : std::nullopt;
    const auto hour = day ? part(10, "T ") : std::nullopt;
    const auto minute = hour ? part(13, ":") : std::nullopt;
    const auto second = minute ? part(16, ":") : std::nullopt;
    if (day)
        date.dayMonth = *day + *month;
    if (hour)
        date.time = *hour + (minute ? *minute : "00");
    if (month && !day)
        losses.push_back(loss("TDRC", "a month without its day, dropped"));
    if (second)
        losses.push_back(loss("TDRC", "seconds, dropped"));
    return date;
}

} // namespace

unsigned char statusAs23(unsigned char status, int major) {
    return major == 4 ? static_cast<unsigned char>((status & 0x70) << 1) : status & 0xE0;
}

bool contentNamesLosses(std::string_view id) {
    return id == "TYER" || id == "TDAT" || id == "TIME" || id == "TDRC" || id == "TDOR";
}

void convertFrames(const std::vector<FrameToConvert>& frames, int from, const Revision& to,
                   Bytes* out, std::vector<std::string>& losses) {
    from = from == 2 ? 3 : from;
    auto has = [&](std::string_view id) {
        return std::any_of(frames.begin(), frames.end(),
                           [&](const FrameToConvert& f) { return f.id == id; });
    };
    auto statusFor = [&](const FrameToConvert& frame) {
        return to.major == 4 ? static_cast<unsigned char>(frame.status >> 1) : frame.status;
    };
    auto keep = [&](const FrameToConvert& frame, std::string_view id, const Bytes* data) {
        if (!out)
            return;
        const unsigned char flags[2] = {statusFor(frame), 0};
        if (data)
            appendFramed(*out, id, data->data(), data->size(), to, flags);
        else
            appendFramed(*out, id, reinterpret_cast<const unsigned char*>(frame.content.data()),
                         frame.content.size(), to, flags);
    };

    // The date and people frames, gathered to be written where the first of
    // them was.
    Date23 date;
    std::string stamp; // TDRC's
    bool haveStamp = false;
    std::vector<std::string> people; // TIPL and TMCL's, for IPLS
    for (const FrameToConvert& frame : frames) {
        if (from == 3 && (frame.id == "TYER" || frame.id == "TDAT" || frame.id == "TIME")) {
            auto& slot = frame.id == "TYER"   ? date.year
                         : frame.id == "TDAT" ? date.dayMonth
                                              : date.time;
            if (!slot)
                slot = firstText(frame);
        } else if (from == 4 && frame.id == "TDRC" && !haveStamp) {
            if (auto text = firstText(frame)) {
                stamp = *text;
                haveStamp = true;
            }
        } else if (from == 4 && out && (frame.id == "TIPL" || frame.id == "TMCL") &&
                   frame.readable) {
            if (auto value = decodeFrame(layoutOf(LayoutKind::Text), frame.content)) {
                dropEndingTerminator(*value);
                people.insert(people.end(), value->texts.begin(), value->texts.end());
            }
        }
    }
    if (from == to.major)
        return;

    bool dateWritten = false;
    bool peopleWritten = false;
    for (const FrameToConvert& frame : frames) {
        const std::string_view id = frame.id;
        if (id.empty())
            continue; // a 2.2 frame without a 2.3 form, named by the caller
        if (!frame.readable) {
            losses.push_back(loss(id, "compressed or encrypted, dropped"));
            continue;
        }
        if (to.major == 4) {
            if (id == "TYER" || id == "TDAT" || id == "TIME") {
                if (!date.year) {
                    losses.push_back(loss(id, "no year to go with, dropped"));
                    continue;
                }
                if (!dateWritten && out) {
                    std::vector<std::string> ignored;
                    appendTextFrame(*out, "TDRC", {timestampOf(date, ignored)}, to);
                } else if (!dateWritten) {
                    timestampOf(date, losses);
                }
                dateWritten = true;
                continue;
            }
            if (id == "TDRC" && date.year) {
                losses.push_back(loss(id, "replaced by the date of TYER"));
                continue;
            }
            if (id == "TRDA" || id == "TSIZ") {
                losses.push_back(loss(id, "no counterpart in 2.4, dropped"));
                continue;
            }
            keep(frame, id == "TORY" ? "TDOR" : id == "IPLS" ? "TIPL" : id, nullptr);
            continue;
        }
        // To 2.3.
        if (id == "TDRC") {
            if (dateWritten)
                continue;
            dateWritten = true;
            std::vector<std::string> ignored;
            const Date23 split = dateOf(stamp, out ? ignored : losses);
            if (!out || !haveStamp)
                continue;
            appendTextFrame(*out, "TYER", {*split.year}, to);
            if (split.dayMonth)
                appendTextFrame(*out, "TDAT", {*split.dayMonth}, to);
            if (split.time)
                appendTextFrame(*out, "TIME", {*split.time}, to);
            continue;
        }
        if ((id == "TYER" || id == "TDAT" || id == "TIME") && has("TDRC")) {
            losses.push_back(loss(id, "replaced by the date of TDRC"));
            continue;
        }
        if (id == "TIPL" || id == "TMCL") {
            if (!peopleWritten && out)
                appendTextFrame(*out, "IPLS", people, to);
            peopleWritten = true;
            continue;
        }
        if (id == "TDOR") {
            if (!out) {
                const auto text = firstText(frame);
                if (text && text->size() > 4)
                    losses.push_back(loss(id, "only its year kept"));
                continue;
            }
            const auto text = firstText(frame);
            appendTextFrame(*out, "TORY", {text ? text->substr(0, 4) : std::string()}, to);
            continue;
        }
        // 2.3 has no UTF-16BE and no UTF-8: such texts become UTF-16 with a
        // byte order mark, or Latin-1 when that holds them. Its readers take
        // the first of several texts, so they are joined by "/" as 2.4's
        // value shows them.
        const auto layout = encodedLayout(id);
        const bool list = layout == LayoutKind::Text || layout == LayoutKind::UserText;
        if (out && layout && !frame.content.empty() &&
            (frame.content[0] == 2 || frame.content[0] == 3 || list)) {
            if (auto value = decodeFrame(layoutOf(*layout), frame.content)) {
                dropEndingTerminator(*value);
                if (list && id != "IPLS" && value->texts.size() > 1) {
                    std::string joined;
                    for (const std::string& text : value->texts) {
                        if (text.empty())
                            continue;
                        if (!joined.empty())
                            joined += '/';
                        joined += text;
                    }
                    value->texts = {std::move(joined)};
                }
                const Bytes data = encodeFrame(layoutOf(*layout), *value, to);
                keep(frame, id, &data);
                continue;
            }
        }
        keep(frame, id, nullptr);
    }
}

} // namespace quillon::id3v2
