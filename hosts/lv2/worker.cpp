// The host's worker: a costly control change (one the object's description
// marks costly) is queued in run and its method runs on the worker's
// thread, as the objects' own host runs
// messages on its message thread while the audio thread performs. The
// objects are written for that: every parameter a single 32-bit store, a
// table rebuilt by a setter rewritten in place. Only costly controls go
// there, and each always goes there, so one control's message is never
// delivered on two threads.
#include <cstring>

#include "internal.h"

namespace lv2_host {

namespace {

struct ControlJob {
  uint32_t control;  // index into Plugin::controls
  float value;
};

LV2_Worker_Status work(LV2_Handle handle, LV2_Worker_Respond_Function /*respond*/,
                       LV2_Worker_Respond_Handle /*target*/, uint32_t size, const void* data) {
  Plugin& plugin = *static_cast<Plugin*>(handle);
  ControlJob job;
  if (size != sizeof job) return LV2_WORKER_ERR_UNKNOWN;
  std::memcpy(&job, data, sizeof job);
  if (job.control >= plugin.controls.size()) return LV2_WORKER_ERR_UNKNOWN;
  DefaultFloatingPoint floatingPoint;
  deliver_control(plugin, plugin.controls[job.control], job.value);
  return LV2_WORKER_SUCCESS;
}

// The job has no answer for the audio thread: the method has done its work.
LV2_Worker_Status work_response(LV2_Handle /*handle*/, uint32_t /*size*/, const void* /*body*/) {
  return LV2_WORKER_SUCCESS;
}

const LV2_Worker_Interface WORKER = {work, work_response, nullptr};

}  // namespace

bool schedule_control(Plugin& plugin, const Control& control, float value) {
  const ControlJob job = {static_cast<uint32_t>(&control - plugin.controls.data()), value};
  return plugin.worker->schedule_work(plugin.worker->handle, sizeof job, &job) == LV2_WORKER_SUCCESS;
}

const void* worker_interface() { return &WORKER; }

}  // namespace lv2_host
