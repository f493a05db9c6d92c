// Instances of the stand-in host: each wraps one instance of the host core,
// whose signal chain runs on vectors the core holds.
#include "internal.h"

namespace standin {

namespace {
using AssistMethod = void (*)(void*, void*, int, int, char*);
}  // namespace

Instance::Instance(core::Instance* instance) : core_(instance) {}

std::unique_ptr<Instance> Instance::create(const std::string& objectName) {
  host::Class* objectClass = find_or_load_class(objectName);
  if (objectClass == nullptr) return nullptr;
  core::Instance* instance = core::create_instance(objectClass, nullptr);
  if (instance == nullptr) return nullptr;
  return std::unique_ptr<Instance>(new Instance(instance));
}

Instance::~Instance() { core::free_instance(core_); }

const std::string& Instance::name() const { return core_->objectClass->name; }

void* Instance::record() const { return core_->record; }

bool Instance::intact() const { return core_->intact; }

ClassInfo Instance::class_info() const {
  const host::Class& objectClass = *core_->objectClass;
  ClassInfo info{objectClass.name, {}, {}, objectClass.intMethod != nullptr, objectClass.floatMethod != nullptr};
  for (const core::Binding& binding : objectClass.bindings)
    if (binding.kind != host::ARG_PRIVATE) info.messages.push_back({binding.selector->name, binding.kind});
  for (const auto& inlet : objectClass.floatInlets) info.floatInlets.push_back(inlet.first);
  return info;
}

int Instance::inlet_count() const { return core::inlet_count(*core_); }
InletKind Instance::inlet_kind(int position) const { return core::inlet_kind(*core_, position); }
int Instance::signal_inlets() const { return core_->signalInlets; }
int Instance::signal_outlets() const { return core_->signalOutlets; }

std::string Instance::assist(bool outlet, int index) const {
  const core::Binding* binding = core::find_binding(*core_->objectClass, "assist");
  if (binding == nullptr) return "";
  char text[host::ASSIST_TEXT_SIZE] = {0};
  core::CallScope scope(core_->objectClass, core_);
  reinterpret_cast<AssistMethod>(binding->method)(
      core_->record, nullptr, outlet ? host::ASSIST_OUTLET : host::ASSIST_INLET, index, text);
  core::check_record(*core_);
  return text;
}

void Instance::send(const Message& message) { core::deliver(*core_, message); }

bool Instance::send_text(const std::string& text) {
  Message message;
  std::string errorText;
  if (!parse_message(text, message, errorText)) {
    core::CallScope scope(core_->objectClass, core_);
    core::print_line(true, "%s", errorText.c_str());
    return false;
  }
  send(message);
  return true;
}

bool Instance::dsp(float sampleRate, int blockSize, bool inPlace) {
  return core::build_chain_on_own_vectors(*core_, sampleRate, blockSize, inPlace);
}

int Instance::block_size() const { return core_->blockSize; }

float* Instance::inlet_vector(int inlet) { return core_->vectors[static_cast<size_t>(inlet)]; }

const float* Instance::outlet_vector(int outlet) const {
  return core_->vectors[static_cast<size_t>(core_->signalInlets + outlet)];
}

bool Instance::run() {
  core::run_chain(*core_);
  core::CallScope scope(core_->objectClass, core_);
  return core::check_record(*core_);
}

}  // namespace standin
