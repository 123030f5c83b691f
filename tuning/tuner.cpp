#include "tuning/tuner.h"

#include <new>

#include "paramfile/initial_images.h"

namespace tmode {

Tuner::~Tuner() {
  if (log_stream != nullptr) std::fclose(log_stream);
}

TunerPtr create_tuner() {
  TunerPtr tuner(new (std::nothrow) Tuner());
  if (tuner) set_initial_parameter_images(*tuner);
  return tuner;
}

}  // namespace tmode
