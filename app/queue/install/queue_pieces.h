#pragma once
// Installs the queue's later pieces - smart folders and their change tracking, search
// metadata, history, download filters, the schedule, metalink files - into the hooks and
// services through which the queue core, the completion step and the settings store reach
// them. Start-up calls it before the settings and the queue file are read.

namespace queue {

void InstallQueuePieces();

}  // namespace queue
