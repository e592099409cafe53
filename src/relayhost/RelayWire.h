#pragma once
// The line protocol between qureld and qurel-relay, the process that records one lesson with the
// relay library. Plain C++ (no Qt), so the relay process links nothing but the library.
//
// qurel-relay writes "ready <code>" once it has initialised the library (the code zms32Init gave).
// Then every request is one line and gets one answer line, in order:
//   create <stream> <record as hex, or "-" for none>   -> <code>
//   start <stream> | destroy <stream> | stop <stream>  -> <code>
//   status <stream>  -> <code> [<flags> <audio> <writeError> <reconnects> <recordedMs>
//                               <msSincePacket> <msSinceWrite>]   (the numbers only with code 0)
//   url <stream> <URL bytes as hex, or "-" for none>   -> <code>
// Numbers are decimal. A line longer than kMaxLineBytes, an unknown word or a field that does not
// parse is refused as a whole; the end of the requests (EOF) means "finish the file and exit".

#include "zelmicro.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace Qurel::RelayWire {

// The longest line either side sends or accepts, its '\n' not counted: a URL of ZMS32_LEN_URL
// bytes as hex with its words, and a configuration record as hex with its words.
inline constexpr std::size_t kMaxLineBytes = 2 * ZMS32_CONFIG_SIZE + 64;

enum class Verb { Create, Start, Destroy, Stop, Status, Url };

struct Request
{
    Verb verb = Verb::Start;
    std::int32_t stream = 0;
    // The configuration record of a create, the URL bytes of a url (without the end zero);
    // nullopt when the caller passed none.
    std::optional<std::vector<unsigned char>> data;
};

struct Answer
{
    std::int32_t code = ZMS32_OK;
    std::optional<Zms32StreamStatus> status; // a status request's figures when code is 0
};

// One line without its '\n'.
std::string FormatRequest(const Request &request);
std::optional<Request> ParseRequest(const std::string &line);
std::string FormatAnswer(const Answer &answer);
// The answer to a request of this verb; nullopt when the line is not one.
std::optional<Answer> ParseAnswer(Verb verb, const std::string &line);
std::string FormatReady(std::int32_t initCode);
std::optional<std::int32_t> ParseReady(const std::string &line);

} // namespace Qurel::RelayWire
