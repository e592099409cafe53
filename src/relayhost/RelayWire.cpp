#include "RelayWire.h"

#include <array>
#include <charconv>
#include <cstring>
#include <limits>

namespace Qurel::RelayWire {

namespace {

    struct VerbName
    {
        Verb verb;
        const char *name;
        bool hasData;
    };

    constexpr std::array<VerbName, 6> kVerbs { { { Verb::Create, "create", true }, { Verb::Start, "start", false },
        { Verb::Destroy, "destroy", false }, { Verb::Stop, "stop", false }, { Verb::Status, "status", false },
        { Verb::Url, "url", true } } };

    const VerbName &nameOf(Verb verb)
    {
        for (const VerbName &v : kVerbs) {
            if (v.verb == verb)
                return v;
        }
        return kVerbs.front();
    }

    // The words of a line split at single spaces; an empty word (two spaces, a leading or trailing
    // one) makes the line bad.
    std::optional<std::vector<std::string>> words(const std::string &line)
    {
        if (line.size() > kMaxLineBytes)
            return std::nullopt;
        std::vector<std::string> parts;
        std::size_t begin = 0;
        for (;;) {
            const std::size_t end = line.find(' ', begin);
            const std::string part = line.substr(begin, end == std::string::npos ? std::string::npos : end - begin);
            if (part.empty())
                return std::nullopt;
            parts.push_back(part);
            if (end == std::string::npos)
                return parts;
            begin = end + 1;
        }
    }

    // A whole word as a decimal number of type T.
    template <typename T> std::optional<T> number(const std::string &word)
    {
        T value {};
        const char *end = word.data() + word.size();
        const auto [ptr, error] = std::from_chars(word.data(), end, value);
        if (error != std::errc() || ptr != end || word.empty() || word[0] == '+')
            return std::nullopt;
        return value;
    }

    // N whole words from parts[first] on as decimal numbers of type T.
    template <typename T, std::size_t N>
    std::optional<std::array<T, N>> numbers(const std::vector<std::string> &parts, std::size_t first)
    {
        std::array<T, N> values {};
        for (std::size_t i = 0; i < N; ++i) {
            const std::optional<T> value = number<T>(parts.at(first + i));
            if (!value)
                return std::nullopt;
            values[i] = *value;
        }
        return values;
    }

    std::string hex(const std::vector<unsigned char> &bytes)
    {
        static const char digits[] = "0123456789abcdef";
        std::string text;
        text.reserve(bytes.size() * 2);
        for (const unsigned char byte : bytes) {
            text.push_back(digits[byte >> 4]);
            text.push_back(digits[byte & 0xF]);
        }
        return text;
    }

    int hexDigit(char c)
    {
        if (c >= '0' && c <= '9')
            return c - '0';
        if (c >= 'a' && c <= 'f')
            return c - 'a' + 10;
        return -1;
    }

    std::optional<std::vector<unsigned char>> unhex(const std::string &text)
    {
        if (text.size() % 2 != 0)
            return std::nullopt;
        std::vector<unsigned char> bytes(text.size() / 2);
        for (std::size_t i = 0; i < bytes.size(); ++i) {
            const int high = hexDigit(text[2 * i]);
            const int low = hexDigit(text[2 * i + 1]);
            if (high < 0 || low < 0)
                return std::nullopt;
            bytes[i] = static_cast<unsigned char>(high << 4 | low);
        }
        return bytes;
    }

    // What a request may carry: a create exactly one record, a url at most a URL field's bytes.
    bool dataFits(Verb verb, const std::vector<unsigned char> &data)
    {
        if (verb == Verb::Create)
            return data.size() == ZMS32_CONFIG_SIZE;
        return !data.empty() && data.size() < ZMS32_LEN_URL
            && std::memchr(data.data(), '\0', data.size()) == nullptr;
    }

} // namespace

std::string FormatRequest(const Request &request)
{
    const VerbName &v = nameOf(request.verb);
    std::string line = std::string(v.name) + ' ' + std::to_string(request.stream);
    if (v.hasData)
        line += ' ' + (request.data ? hex(*request.data) : std::string("-"));
    return line;
}

std::optional<Request> ParseRequest(const std::string &line)
{
    const auto parts = words(line);
    if (!parts || parts->size() < 2)
        return std::nullopt;
    for (const VerbName &v : kVerbs) {
        if (parts->at(0) != v.name)
            continue;
        const auto stream = number<std::int32_t>(parts->at(1));
        if (!stream || parts->size() != (v.hasData ? 3u : 2u))
            return std::nullopt;
        Request request { v.verb, *stream, std::nullopt };
        if (v.hasData && parts->at(2) != "-") {
            request.data = unhex(parts->at(2));
            if (!request.data || !dataFits(v.verb, *request.data))
                return std::nullopt;
        }
        return request;
    }
    return std::nullopt;
}

std::string FormatAnswer(const Answer &answer)
{
    std::string line = std::to_string(answer.code);
    if (answer.code == ZMS32_OK && answer.status) {
        const Zms32StreamStatus &s = *answer.status;
        for (const std::int64_t value : { std::int64_t(s.flags), std::int64_t(s.audio), std::int64_t(s.writeError),
                 std::int64_t(s.reconnects), s.recordedMs, s.msSincePacket, s.msSinceWrite })
            line += ' ' + std::to_string(value);
    }
    return line;
}

std::optional<Answer> ParseAnswer(Verb verb, const std::string &line)
{
    const auto parts = words(line);
    if (!parts)
        return std::nullopt;
    const auto code = number<std::int32_t>(parts->at(0));
    if (!code)
        return std::nullopt;
    Answer answer { *code, std::nullopt };
    const bool withFigures = verb == Verb::Status && *code == ZMS32_OK;
    if (parts->size() != (withFigures ? 8u : 1u))
        return std::nullopt;
    if (!withFigures)
        return answer;
    const auto small = numbers<std::int32_t, 4>(*parts, 1);
    const auto times = numbers<std::int64_t, 3>(*parts, 5);
    if (!small || !times)
        return std::nullopt;
    const auto &[flags, audio, writeError, reconnects] = *small;
    const auto &[recordedMs, msSincePacket, msSinceWrite] = *times;
    answer.status = Zms32StreamStatus { flags, audio, writeError, reconnects, recordedMs, msSincePacket, msSinceWrite };
    return answer;
}

std::string FormatReady(std::int32_t initCode)
{
    return "ready " + std::to_string(initCode);
}

std::optional<std::int32_t> ParseReady(const std::string &line)
{
    const auto parts = words(line);
    if (!parts || parts->size() != 2 || parts->at(0) != "ready")
        return std::nullopt;
    return number<std::int32_t>(parts->at(1));
}

} // namespace Qurel::RelayWire
