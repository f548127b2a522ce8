#pragma once
// The download engine's side of starting a download: a task (thread) per download that
// runs a DownloadRun (download_run.h) with its own run loop and event loop, and the
// controller through which the main thread answers it.
//
// Events the task posts, class 'TRDc', each with 'UID_' (uint32) and 'ptrg' (the download
// event target of transfer_log.h):
//   0 progress     'Tot_' int64 bytes done, 'C___' float KB/s, 'Port' int32 open
//                  connections, 'Rang' array of [location, length] int64 pairs, 'Time'
//                  double seconds since the start (pauses for questions left out); low
//   1 finished     'Reas' int32 (0 incomplete, 1 failed, 4 stopped, 8 complete), 'ErrC'
//                  stream error (below) when failed, 'ErrM' string, 'File' file ref
//                  of the data file, 'UrlD' array of URL entries, 'Veri' bool (the checksum
//                  did not match or could not be checked); high
//   2 started      'Qu$$' the task's EventQueue (object); high
//   3 log line     'Mess' (transfer_log.h); high
//   4 file info    'Size' int64, with a name also 'Name' string, 'Alis' file ref of the
//                  renamed data file, 'Fnam' bool (the name came from a page title); standard
//   5 unknown root 'URL_' string, 'ERRR' stream error, 'Trus' array of DER data; high
//   6 certificate changed  'URL_', 'Trus'; high
//   7 credentials wanted   'URL_'; high
//   8 verifying    -; high
// A stream error travels as 8 bytes of values::Data: the int32 domain, then the int32
// code, in this machine's byte order (StreamErrorBytes).
// Answers to the task: 'TRCo' kind 1 ('----' bool always trust) and kind 2 ('Usee',
// 'PaSS' strings), posted by the controller to the task's queue, addressed to the task's
// own target.

#include <cstdint>
#include <memory>
#include <optional>
#include <span>

#include "app/engine/services/download_engine_services.h"
#include "app/engine/task/download_run.h"

namespace engine {

class DownloadEngine : public DownloadEngineServices {
 public:
  explicit DownloadEngine(DownloadRunOptions options = {}) : options_(std::move(options)) {}
  std::shared_ptr<DownloadTaskController> StartDownloadTask(
      std::unique_ptr<DownloadThreadState> state) override;

 private:
  DownloadRunOptions options_;
};

// The 8-byte form of a stream error in 'ErrC' and 'ERRR', and back (nullopt unless 8 bytes).
values::Bytes StreamErrorBytes(const net::StreamError& error);
std::optional<net::StreamError> StreamErrorFromBytes(std::span<const std::uint8_t> bytes);

// Makes the real engine the one the queue starts downloads with. Without a transport
// table of its own in `options`, the built-in transports are registered in the process's
// table first (builtin_transports.h).
void InstallDownloadEngine(DownloadRunOptions options = {});

}  // namespace engine
