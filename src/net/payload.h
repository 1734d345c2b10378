// The JSON payloads of the published topics, documented by the schemas in
// packaging/mqtt/ (one per topic). Numbers are written with a point and in
// their shortest exact form, a missing reading as null.
#pragma once

#include <cstdint>
#include <string>

#include "record/board_sample.h"

namespace eb::net {

// Times are written as record::UtcStamp writes them, "2026-12-09T10:31:02.123Z".

// PREFIX/STATION/sample. `seq` counts the samples of this run of the
// program from 1 and `run` is the run's start (ms since the epoch): a
// consumer finds a gap or a repeat from the two.
std::string SampleJson(const BoardSample& sample, std::uint64_t seq, std::int64_t run);

// PREFIX/STATION/config, retained.
std::string ConfigJson(const StackConfig& config, std::int64_t run);

// PREFIX/STATION/status, retained: "online" or "offline".
std::string StatusJson(const char* state, const std::string& program, const std::string& bridge,
                       std::int64_t run, std::int64_t ms);

}  // namespace eb::net
