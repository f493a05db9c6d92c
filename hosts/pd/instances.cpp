// Instances: the core runs the object's new routine; the Pd object then gets
// the inlets and outlets it declared, in position order. Pd's dsp call hands
// the object Pd's signals, and the perform routines it adds join Pd's chain.
#include <cstdlib>

#include "internal.h"

namespace pd_host {

namespace {
// Signal inlets first (the left one is the class's own), then one proxy per
// position up to the last float inlet, then the list inlets.
bool make_inlets_and_outlets(PdObject* x) {
  const core::Instance& instance = *x->instance;
  t_object* object = &x->object;
  for (int i = 1; i < instance.signalInlets; i++) signalinlet_new(object, 0);
  const int firstProxy = instance.signalInlets > 0 ? instance.signalInlets : 1;
  const int count = core::inlet_count(instance) - firstProxy;
  if (count > 0) {
    x->proxies = static_cast<InletProxy**>(std::calloc(static_cast<size_t>(count), sizeof(InletProxy*)));
    if (x->proxies == nullptr) return false;
  }
  for (int k = 0; k < count; k++) {
    auto* proxy = reinterpret_cast<InletProxy*>(pd_new(classes().inletClass));
    proxy->owner = x;
    proxy->position = firstProxy + k;
    x->proxies[k] = proxy;
    x->proxyCount = k + 1;
    inlet_new(object, &proxy->pd, nullptr, nullptr);
  }
  for (int j = 0; j < instance.signalOutlets; j++) outlet_new(object, &s_signal);
  return true;
}
}  // namespace

void* object_new() {
  auto* x = reinterpret_cast<PdObject*>(pd_new(classes().pdClass));
  x->instance = core::create_instance(classes().objectClass, x);
  if (x->instance == nullptr) {
    // Pd then reports that the object could not be created.
    pd_free(&x->object.ob_pd);
    return nullptr;
  }
  if (!make_inlets_and_outlets(x)) {
    core::CallScope scope(classes().objectClass, x->instance);
    core::print_line(true, "no memory for the inlets");
    pd_free(&x->object.ob_pd);
    return nullptr;
  }
  return x;
}

void object_free(PdObject* x) {
  if (x->instance != nullptr) core::free_instance(x->instance);
  x->instance = nullptr;
  for (int k = 0; k < x->proxyCount; k++) pd_free(&x->proxies[k]->pd);
  std::free(x->proxies);
  x->proxies = nullptr;
  x->proxyCount = 0;
}

// Pd's signals come inlets first, then outlets, as the object expects them.
// Pd always gives the left inlet a signal; an object without signal inlets
// does not see it.
void object_dsp(PdObject* x, t_signal** pdSignals) {
  core::Instance& instance = *x->instance;
  const int pdInlets = instance.signalInlets > 0 ? instance.signalInlets : 1;
  std::vector<float*> vectors;
  for (int i = pdInlets - instance.signalInlets; i < pdInlets + instance.signalOutlets; i++)
    vectors.push_back(pdSignals[i]->s_vec);
  if (!core::build_chain(instance, pdSignals[0]->s_sr, pdSignals[0]->s_n, vectors)) return;
  static_assert(sizeof(host::Word) == sizeof(t_int), "a perform argument is one Pd word");
  for (core::ChainEntry& entry : instance.chain)
    dsp_addv(reinterpret_cast<t_perfroutine>(entry.perform), static_cast<int>(entry.words.size()) - 1,
             reinterpret_cast<t_int*>(entry.words.data() + 1));
}

}  // namespace pd_host
