// Instances: creation, message delivery, the signal chain and freeing.
#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "host_runtime.h"
#include "internal.h"

namespace standin {

namespace {
using NewRoutine = void* (*)();
using FreeRoutine = void (*)(void*);
using DspMethod = void (*)(void*, host::Signal**, short*);
using AssistMethod = void (*)(void*, void*, int, int, char*);
using FloatMethod = void (*)(void*, double);
using IntMethod = void (*)(void*, int32_t);
using BareMethod = void (*)(void*);
using ListMethod = void (*)(void*, int, host::Atom*);

const host::Class::Bound* find_binding(const host::Class* objectClass, const std::string& selector) {
  for (const host::Class::Bound& bound : objectClass->bindings)
    if (bound.selector == selector) return &bound;
  return nullptr;
}

void release(Instance::Data* data) {
  std::free(data->record);
  delete data;
}

bool all_numbers_finite(const Message& message) {
  for (const Value& value : message.arguments)
    if (value.isNumber && !std::isfinite(value.number)) return false;
  return true;
}

std::string quoted(const std::string& text) { return "'" + text + "'"; }
}  // namespace

Instance::Instance(Data* data) : data_(data) {}

std::unique_ptr<Instance> Instance::create(const std::string& objectName) {
  host::Class* objectClass = find_or_load_class(objectName);
  if (objectClass == nullptr) return nullptr;
  ObjectContext context(objectName);
  instance_being_created() = nullptr;
  void* record = reinterpret_cast<NewRoutine>(objectClass->newRoutine)();
  Data* made = instance_being_created();
  instance_being_created() = nullptr;
  if (record == nullptr) {
    if (made != nullptr) release(made);
    print_line(true, "could not create the object");
    return nullptr;
  }
  return std::unique_ptr<Instance>(new Instance(data_of(record)));
}

Instance::~Instance() {
  ObjectContext context(name());
  if (data_->objectClass->freeRoutine != nullptr)
    reinterpret_cast<FreeRoutine>(data_->objectClass->freeRoutine)(data_->record);
  else
    host::z_dsp_free(data_->record);
  release(data_);
}

const std::string& Instance::name() const { return data_->objectClass->name; }

void* Instance::record() const { return data_->record; }

ClassInfo Instance::class_info() const {
  const host::Class* objectClass = data_->objectClass;
  ClassInfo info{objectClass->name, {}, {}, objectClass->intMethod != nullptr,
                 objectClass->floatMethod != nullptr};
  for (const host::Class::Bound& bound : objectClass->bindings)
    if (bound.kind != host::ARG_PRIVATE) info.messages.push_back({bound.selector, bound.kind});
  for (const auto& inlet : objectClass->floatInlets) info.floatInlets.push_back(inlet.first);
  return info;
}

// Signal inlets come first, float inlets stand at their numbers, and inlets
// made with inlet_new follow them all.
int Instance::inlet_count() const {
  int positioned = data_->signalInlets;
  for (int number : data_->floatInlets) positioned = std::max(positioned, number + 1);
  return positioned + data_->listInlets;
}

InletKind Instance::inlet_kind(int position) const {
  if (position < data_->signalInlets) return InletKind::Signal;
  if (position >= inlet_count() - data_->listInlets) return InletKind::List;
  return InletKind::Float;
}

int Instance::signal_inlets() const { return data_->signalInlets; }
int Instance::signal_outlets() const { return data_->signalOutlets; }

std::string Instance::assist(bool outlet, int index) const {
  const host::Class::Bound* bound = find_binding(data_->objectClass, "assist");
  if (bound == nullptr) return "";
  char text[host::ASSIST_TEXT_SIZE] = {0};
  ObjectContext context(name());
  reinterpret_cast<AssistMethod>(bound->method)(
      data_->record, nullptr, outlet ? host::ASSIST_OUTLET : host::ASSIST_INLET, index, text);
  return text;
}

bool Instance::send_text(const std::string& text) {
  Message message;
  std::string errorText;
  if (!parse_message(text, message, errorText)) {
    ObjectContext context(name());
    print_line(true, errorText);
    return false;
  }
  send(message);
  return true;
}

namespace {
// A number in the left inlet: the int method takes whole numbers where the
// class has one, the float method everything else.
void deliver_number(Instance::Data* data, const Message& message) {
  const host::Class* objectClass = data->objectClass;
  if (message.arguments.size() != 1 || !message.arguments[0].isNumber) {
    print_line(true, quoted(message.selector) + " needs one number");
    return;
  }
  const Value& value = message.arguments[0];
  const bool preferInt = value.isInteger || objectClass->floatMethod == nullptr;
  if (preferInt && objectClass->intMethod != nullptr)
    reinterpret_cast<IntMethod>(objectClass->intMethod)(data->record, host_runtime::saturate_to_int32(value.number));
  else if (objectClass->floatMethod != nullptr)
    reinterpret_cast<FloatMethod>(objectClass->floatMethod)(data->record, value.number);
  else
    print_line(true, "no method for " + quoted(message.selector));
}

void deliver_list(Instance::Data* data, const host::Class::Bound& bound, const Message& message) {
  std::vector<host::Atom> atoms;
  for (const Value& value : message.arguments) {
    if (!value.isNumber)
      atoms.push_back({host::AtomType::Symbol, 0.0, value.word.c_str()});
    else
      atoms.push_back({value.isInteger ? host::AtomType::Long : host::AtomType::Float, value.number, nullptr});
  }
  reinterpret_cast<ListMethod>(bound.method)(data->record, static_cast<int>(atoms.size()), atoms.data());
}

void deliver_selector(Instance::Data* data, const Message& message) {
  const host::Class::Bound* bound = find_binding(data->objectClass, message.selector);
  const std::string name = quoted(message.selector);
  if (bound == nullptr) {
    print_line(true, "no method for " + name);
    return;
  }
  const size_t count = message.arguments.size();
  switch (bound->kind) {
    case host::ARG_PRIVATE:
      print_line(true, name + " is called by the host and cannot be sent");
      return;
    case host::ARG_FLOAT:
      if (count == 0 || !message.arguments[0].isNumber) {
        print_line(true, name + " needs a number" +
                             (count == 0 ? "" : ", not " + quoted(message.arguments[0].word)));
      } else if (count > 1) {
        print_line(true, name + " takes one number, not " + std::to_string(count));
      } else {
        reinterpret_cast<FloatMethod>(bound->method)(data->record, message.arguments[0].number);
      }
      return;
    case host::ARG_LIST:
      deliver_list(data, *bound, message);
      return;
    default:
      if (count > 0)
        print_line(true, name + " takes no argument");
      else
        reinterpret_cast<BareMethod>(bound->method)(data->record);
      return;
  }
}

bool is_number_selector(const std::string& selector) {
  return selector == "int" || selector == "float";
}
}  // namespace

void Instance::send(const Message& message) {
  ObjectContext context(name());
  const int inlet = message.inlet;
  if (inlet < 0 || inlet >= inlet_count()) {
    print_line(true, "no inlet " + std::to_string(inlet));
    return;
  }
  if (!all_numbers_finite(message)) {
    print_line(true, quoted(message.selector) + " needs finite numbers");
    return;
  }
  data_->currentInlet = inlet;
  switch (inlet_kind(inlet)) {
    case InletKind::Float: {
      auto method = data_->objectClass->floatInlets.find(inlet);
      if (!is_number_selector(message.selector) || message.arguments.size() != 1)
        print_line(true, "inlet " + std::to_string(inlet) + " takes one number");
      else if (method == data_->objectClass->floatInlets.end())
        print_line(true, "no method for inlet " + std::to_string(inlet));
      else
        reinterpret_cast<FloatMethod>(method->second)(data_->record, message.arguments[0].number);
      break;
    }
    case InletKind::List: {
      const host::Class::Bound* list = find_binding(data_->objectClass, "list");
      if (message.selector != "list" && !is_number_selector(message.selector))
        print_line(true, "inlet " + std::to_string(inlet) + " takes lists only");
      else if (list == nullptr)
        print_line(true, "no method for 'list'");
      else
        deliver_list(data_, *list, message);
      break;
    }
    case InletKind::Signal:
      if (inlet > 0)
        print_line(true, "inlet " + std::to_string(inlet) + " takes signals only");
      else if (is_number_selector(message.selector))
        deliver_number(data_, message);
      else
        deliver_selector(data_, message);
      break;
  }
  data_->currentInlet = 0;
}

bool Instance::dsp(float sampleRate, int blockSize, bool inPlace) {
  ObjectContext context(name());
  if (!(sampleRate > 0.0f) || !std::isfinite(sampleRate)) {
    print_line(true, "the sample rate must be a positive number");
    return false;
  }
  if (blockSize < 0) {
    print_line(true, "the block size must not be negative");
    return false;
  }
  const host::Class::Bound* bound = find_binding(data_->objectClass, "dsp");
  if (bound == nullptr) {
    print_line(true, "no method for 'dsp'");
    return false;
  }
  Data& d = *data_;
  d.chain.clear();
  d.sampleRate = sampleRate;
  d.blockSize = blockSize;
  const int outletsOwned = inPlace ? std::max(0, d.signalOutlets - d.signalInlets) : d.signalOutlets;
  d.vectors.assign(static_cast<size_t>(d.signalInlets + outletsOwned),
                   std::vector<float>(static_cast<size_t>(blockSize), 0.0f));
  d.inletVectors.clear();
  d.outletVectors.clear();
  for (int i = 0; i < d.signalInlets; i++) d.inletVectors.push_back(d.vectors[static_cast<size_t>(i)].data());
  for (int j = 0, owned = d.signalInlets; j < d.signalOutlets; j++) {
    const bool shared = inPlace && j < d.signalInlets;
    d.outletVectors.push_back(shared ? d.inletVectors[static_cast<size_t>(j)]
                                     : d.vectors[static_cast<size_t>(owned++)].data());
  }
  std::vector<host::Signal> signals;
  for (float* vector : d.inletVectors) signals.push_back({blockSize, vector, sampleRate});
  for (float* vector : d.outletVectors) signals.push_back({blockSize, vector, sampleRate});
  std::vector<host::Signal*> signalPointers;
  for (host::Signal& signal : signals) signalPointers.push_back(&signal);
  std::vector<short> connections(signals.size(), 1);
  instance_building_chain() = data_;
  reinterpret_cast<DspMethod>(bound->method)(d.record, signalPointers.data(), connections.data());
  instance_building_chain() = nullptr;
  d.inChain = true;
  d.inPlace = inPlace;
  find_vector_words(d);
  return true;
}

int Instance::block_size() const { return data_->blockSize; }

namespace {
// The host's vector with this number: inlets first, then outlets.
float* host_vector(const Instance::Data& d, size_t vector) {
  const size_t inlets = d.inletVectors.size();
  return vector < inlets ? d.inletVectors[vector] : d.outletVectors[vector - inlets];
}

bool overlap(const float* a, const float* b, size_t n) { return a < b + n && b < a + n; }

// The chain may run on the caller's vectors when no output shares memory with
// an input or another output (an object reads its inputs while it writes)
// and outlets do not share the inlets' vectors by request.
bool can_run_on(const Instance::Data& d, const float* const* inputs, float* const* outputs, size_t n) {
  if (d.inPlace || n == 0) return false;
  for (int j = 0; j < d.signalOutlets; j++) {
    for (int i = 0; i < d.signalInlets; i++)
      if (overlap(outputs[j], inputs[i], n)) return false;
    for (int k = 0; k < j; k++)
      if (overlap(outputs[j], outputs[k], n)) return false;
  }
  return true;
}

// Points every word that holds a signal vector at the vector given for it.
template <typename VectorFor>
void point_words(Instance::Data& d, VectorFor vector_for) {
  for (const Instance::Data::VectorWord& place : d.vectorWords)
    d.chain[place.entry].words[place.word] = reinterpret_cast<host::Word>(vector_for(place.vector));
}
}  // namespace

// Every word of the chain that holds one of the host's signal vectors.
void find_vector_words(Instance::Data& d) {
  d.vectorWords.clear();
  const size_t vectors = d.inletVectors.size() + d.outletVectors.size();
  for (size_t e = 0; e < d.chain.size(); e++)
    for (size_t w = 1; w < d.chain[e].words.size(); w++)
      for (size_t v = 0; v < vectors; v++)
        if (d.chain[e].words[w] == reinterpret_cast<host::Word>(host_vector(d, v))) {
          d.vectorWords.push_back({e, w, v});
          break;
        }
}

// Runs the chain on the caller's vectors when it can, without a copy;
// otherwise copies the inputs into the host's vectors and the outputs out.
void Instance::process(const float* const* inputs, float* const* outputs) {
  Data& d = *data_;
  const size_t n = static_cast<size_t>(d.blockSize);
  if (!d.inChain) {
    for (int j = 0; j < d.signalOutlets; j++) std::fill(outputs[j], outputs[j] + n, 0.0f);
    return;
  }
  const size_t inlets = static_cast<size_t>(d.signalInlets);
  if (can_run_on(d, inputs, outputs, n)) {
    // The inputs are only read: an object writes its outlets alone.
    point_words(d, [&](size_t v) {
      return v < inlets ? const_cast<float*>(inputs[v]) : outputs[v - inlets];
    });
    for (ChainEntry& entry : d.chain) entry.perform(entry.words.data());
    return;
  }
  point_words(d, [&](size_t v) { return host_vector(d, v); });
  for (size_t i = 0; i < inlets; i++) std::copy(inputs[i], inputs[i] + n, d.inletVectors[i]);
  for (ChainEntry& entry : d.chain) entry.perform(entry.words.data());
  for (int j = 0; j < d.signalOutlets; j++) {
    const float* vector = d.outletVectors[static_cast<size_t>(j)];
    std::copy(vector, vector + n, outputs[j]);
  }
}

}  // namespace standin
