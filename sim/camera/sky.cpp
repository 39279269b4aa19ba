#include "scene.h"

namespace cvsim {

namespace {
class FlatSky : public Scene {
 public:
  explicit FlatSky(double rate) : rate_(rate) {}
  double rate(int, int, double, double) const override { return rate_; }

 private:
  double rate_;
};
}  // namespace

std::unique_ptr<Scene> MakeSky(const SkyParams& params, int, int) {
  return std::make_unique<FlatSky>(params.backgroundRate);
}

}  // namespace cvsim
