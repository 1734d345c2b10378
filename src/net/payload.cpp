#include "net/payload.h"

#include "protocol/json.h"
#include "record/recording.h"

namespace eb::net {

namespace {

template <typename Array>
std::string NumberList(const Array& values) {
  std::string out = "[";
  for (const double v : values) out += (out.size() > 1 ? "," : "") + JsonNumber(v);
  return out + "]";
}

}  // namespace

std::string SampleJson(const BoardSample& s, std::uint64_t seq, std::int64_t run) {
  std::string status = "[";
  for (const std::string& code : s.status)
    status += (status.size() > 1 ? "," : "") + JsonString(code);
  status += "]";
  return "{\"seq\":" + std::to_string(seq) + ",\"run\":" + std::to_string(run) +
         ",\"time\":" + JsonString(record::UtcStamp(s.ms)) + ",\"ms\":" + std::to_string(s.ms) +
         ",\"board\":" + std::to_string(s.board) + ",\"address\":" + std::to_string(s.address) +
         ",\"cells\":" + NumberList(s.cells) + ",\"temps\":" + NumberList(s.temps) +
         ",\"status\":" + status + ",\"cfgr\":" + JsonString(s.cfgr) +
         ",\"flgr\":" + JsonString(s.flgr) + ",\"vuv\":" + JsonString(s.vuv) +
         ",\"vov\":" + JsonString(s.vov) + ",\"reads\":{\"cfgr\":\"" + OutcomeWord(s.cfgrRead) +
         "\",\"flgr\":\"" + OutcomeWord(s.flgrRead) + "\",\"cells\":\"" + OutcomeWord(s.cvRead) +
         "\",\"temps\":\"" + OutcomeWord(s.tmpRead) + "\"}}";
}

std::string ConfigJson(const StackConfig& config, std::int64_t run) {
  std::string boards = "[";
  for (const BoardConfig& b : config.boards) {
    if (boards.size() > 1) boards += ",";
    boards += "{\"board\":" + std::to_string(b.board) +
              ",\"address\":" + std::to_string(b.address) + ",\"cfgr\":" + JsonString(b.cfgr) +
              ",\"vuv\":" + JsonNumber(b.vuv) + ",\"vov\":" + JsonNumber(b.vov) + "}";
  }
  return "{\"run\":" + std::to_string(run) +
         ",\"time\":" + JsonString(record::UtcStamp(config.ms)) + ",\"boards\":" + boards + "]" +
         (config.setup.empty() ? "" : ",\"setup\":" + JsonString(config.setup)) + "}";
}

std::string StatusJson(const char* state, const std::string& program, const std::string& bridge,
                       std::int64_t run, std::int64_t ms) {
  return std::string("{\"state\":\"") + state + "\",\"program\":" + JsonString(program) +
         ",\"bridge\":" + JsonString(bridge) + ",\"run\":" + std::to_string(run) +
         ",\"time\":" + JsonString(record::UtcStamp(ms)) + "}";
}

}  // namespace eb::net
