// How the tests steer a component module and see what it did: one way,
// whichever module stands in (misbehaving.cpp, written against the C
// interface alone; scripted.cpp, written with component.hpp, and linked
// into the unit test). Through the environment:
//   TOLVANE_MISBEHAVE          CALL=WAY[,CALL=WAY...]: how each call goes
//                              (see the module for the ways it knows)
//   TOLVANE_MISBEHAVE_NOGUI    "1": the monitor runs unattended
//   TOLVANE_MISBEHAVE_HEADING  the converter's heading (unset: its own)
//   TOLVANE_MISBEHAVE_JOURNAL  a file that takes each call's line (unset:
//                              standard output)
// Each call writes one line "CALL<tab>FOLDER<tab>DETAIL<tab>THREAD": the
// current folder, what it was given, and "main" or "other": whether it
// runs on the thread that made the first call (the launcher's main
// thread).
#pragma once

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>

namespace steering {

inline std::string env(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

// The way CALL is to go, or "".
inline std::string way_of(const std::string& call) {
  std::string list = ",", key = ",";
  list.append(env("TOLVANE_MISBEHAVE")).append(",");
  key.append(call).append("=");
  const auto at = list.find(key);
  if (at == std::string::npos) return "";
  const auto from = at + key.size();
  return list.substr(from, list.find(',', from) - from);
}

// The seconds of a way "NAME:SECONDS" ("work:2.5"), or nothing.
inline bool seconds_of(const std::string& way, const std::string& name, double& seconds) {
  if (way.rfind(name + ":", 0) != 0) return false;
  seconds = std::atof(way.c_str() + name.size() + 1);
  return true;
}

inline void pause(double seconds) {
  std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
}

inline std::string current_folder() {
  std::error_code error;
  const auto text = std::filesystem::current_path(error).u8string();
  return std::string(text.begin(), text.end());
}

// Writes the call's line, whole, then flushes: the launcher ends the
// process without waiting for what a component keeps in a buffer.
inline void note(const std::string& call, const std::string& detail = "") {
  static std::mutex mutex;
  static std::thread::id first;
  const std::lock_guard<std::mutex> lock(mutex);
  if (first == std::thread::id()) first = std::this_thread::get_id();
  const std::string line = call + "\t" + current_folder() + "\t" + detail + "\t" +
                           (std::this_thread::get_id() == first ? "main" : "other") + "\n";
  const std::string journal = env("TOLVANE_MISBEHAVE_JOURNAL");
  if (FILE* out = journal.empty() ? stdout : std::fopen(journal.c_str(), "ab")) {
    std::fwrite(line.data(), 1, line.size(), out);
    if (out == stdout)
      std::fflush(out);
    else
      std::fclose(out);
  }
  double seconds = 0;
  if (seconds_of(way_of(call), "sleep", seconds) || way_of(call) == "sleep")
    pause(way_of(call) == "sleep" ? 1.5 : seconds);
}

// Stays inside the C streams, holding their locks, for as long as standard
// input stays open or standard output takes more.
inline void keep_streams_busy(const std::string& how) {
  if (how == "read")
    while (std::fgetc(stdin) != EOF) {
    }
  if (how == "write")
    for (;;)
      std::fputs("MONITOR progress ...................................................\n", stdout);
}

}  // namespace steering
