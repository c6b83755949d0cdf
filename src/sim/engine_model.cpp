#include "sim/engine_model.h"

#include <algorithm>
#include <cmath>
#include <iterator>
#include <numbers>

namespace kd::sim {

namespace {

// Smooth noise in -1..1: hashed values at whole multiples of `period`, blended in between.
// `channel` keeps the wandering of different quantities apart.
double Wander(double seconds, double period, std::uint32_t channel) {
  auto at = [channel](std::int64_t slot) {
    std::uint32_t h = static_cast<std::uint32_t>(slot) * 2654435761u ^ (channel * 0x9E3779B9u);
    h ^= h >> 16;
    h *= 0x85EBCA6Bu;
    h ^= h >> 13;
    return static_cast<double>(h & 0xFFFF) / 32767.5 - 1.0;
  };
  const double x = seconds / period;
  const auto slot = static_cast<std::int64_t>(std::floor(x));
  const double f = x - static_cast<double>(slot);
  const double blend = (1 - std::cos(f * std::numbers::pi)) / 2;
  return at(slot) * (1 - blend) + at(slot + 1) * blend;
}

struct Key {
  double at;        // seconds into the cycle
  double rpm;       // 0: the idle speed of the moment
  double throttle;  // %
  double speed;     // km/h
};

// One drive cycle. Throttle closed with the car rolling is engine braking: the fuel is cut.
constexpr Key kCycle[] = {
    {0, 0, 0, 0},         {40, 0, 0, 0},      {41, 1500, 25, 4},  {43.5, 2700, 75, 25},
    {46.5, 3200, 75, 45}, {47, 3100, 40, 48}, {50, 2400, 20, 60}, {80, 2300, 18, 62},
    {81, 2250, 0, 60},    {92, 1150, 0, 12},  {95, 0, 0, 0},      {120, 0, 0, 0},
};

Key Interpolate(double t) {
  for (std::size_t i = 1; i < std::size(kCycle); ++i) {
    const Key& a = kCycle[i - 1];
    const Key& b = kCycle[i];
    if (t <= b.at) {
      const double f = (t - a.at) / (b.at - a.at);
      return {t, a.rpm + (b.rpm - a.rpm) * f, a.throttle + (b.throttle - a.throttle) * f,
              a.speed + (b.speed - a.speed) * f};
    }
  }
  return kCycle[std::size(kCycle) - 1];
}

double O2Wave(double seconds) {
  return std::sin(2 * std::numbers::pi * seconds / 1.2);
}

}  // namespace

EngineState EngineModel::At(std::int64_t ms) const {
  EngineState s;
  const double t = static_cast<double>(std::max<std::int64_t>(ms, 0)) / 1000.0;
  s.seconds = t;

  s.coolantAtStart = kAmbient;
  s.coolant = kWarm - (kWarm - kAmbient) * std::exp(-t / 180.0);
  if (s.coolant > kWarm - 3) s.coolant += 0.8 * Wander(t, 20, 1);  // the thermostat at work
  s.intakeAir = kAmbient + 12 * (1 - std::exp(-t / 400.0));
  const double coldness = std::clamp((kWarm - s.coolant) / (kWarm - kAmbient), 0.0, 1.0);
  s.warmedUp = s.coolant >= 70;
  s.warmupFactor = 1 + 0.4 * coldness;

  const Key key = Interpolate(std::fmod(t, kCycleSeconds));
  s.desiredIdleRpm = 850 + 100 * coldness;
  s.throttle =
      key.throttle > 0 ? std::clamp(key.throttle + 1.0 * Wander(t, 0.7, 2), 0.0, 100.0) : 0;
  // A throttle that is just opening reads closed, and the idle flag goes with what it reads.
  if (s.throttle < 0.5) s.throttle = 0;
  s.speed = key.speed > 0.5 ? std::max(0.0, key.speed + 0.6 * Wander(t, 1.5, 3)) : 0;
  const double idleRpm = s.desiredIdleRpm + 25 * Wander(t, 0.9, 4);
  s.rpm = key.rpm > 0 ? std::max(idleRpm, key.rpm + 30 * Wander(t, 0.8, 5)) : idleRpm;

  s.idle = s.throttle == 0;
  s.fuelCut = s.idle && s.speed > 5 && s.rpm > 1200;
  s.powerEnrichment = s.throttle > 70;
  s.engineMode = s.powerEnrichment ? 4 : s.idle ? 2 : 3;
  s.throttleVolts = 0.46 + 0.04 * s.throttle;

  s.load = s.fuelCut ? 10 : 15 + 0.85 * s.throttle;
  s.manifoldKpa = s.fuelCut ? 24 : 30 + 68 * std::pow(s.throttle / 100, 0.7);
  // Air through the cylinders: half the revolutions are intake strokes of 1.6 l at the filling
  // of the moment, with air at 1.2 kg/m³.
  s.airFlow = s.rpm / 2 * 1.6e-3 * (s.load / 100) * 60 * 1.2;
  s.cyclicAir = s.airFlow * 1e6 / 60 / (s.rpm * 2);
  s.mafVolts = 1.0 + 0.035 * s.airFlow;

  s.o2Ready = t >= 30 && s.coolant >= 35;
  s.closedLoop = s.o2Ready && !s.fuelCut && !s.powerEnrichment;
  s.o2Heater = !s.o2Ready || s.coolant < 60;
  s.o2HeaterWatts = s.o2Heater ? 9 : 3;
  if (s.closedLoop) {
    s.o2Volts = 0.45 + 0.35 * O2Wave(t);
    s.airFuel = 14.7 - 0.2 * O2Wave(t);
  } else if (s.fuelCut) {
    s.o2Volts = 0.05;
    s.airFuel = 20;
  } else if (s.powerEnrichment) {
    s.o2Volts = 0.85;
    s.airFuel = 12.8;
  } else {
    s.o2Volts = 0.45;
    s.airFuel = 14.7 / s.warmupFactor;
  }
  s.o2Rich = s.o2Volts > 0.45;
  s.o2RichBefore = s.closedLoop && O2Wave(t - 0.3) > 0;
  s.o2AfterCatVolts = s.warmedUp ? 0.65 + 0.03 * Wander(t, 3, 6) : 0.45;
  s.o2PeriodSeconds = s.closedLoop ? 1.2 : 0;

  s.cyclicFuel = s.fuelCut ? 0 : s.cyclicAir / s.airFuel;
  // 3.5 mg a millisecond through an open injector, 0.9 ms to open it.
  s.injectionMs = s.fuelCut ? 0 : s.cyclicFuel / 3.5 + 0.9;
  s.baseLoadMs = s.cyclicAir / 40;
  s.fuelPerHour = s.fuelCut ? 0 : s.airFlow / s.airFuel / 0.74;
  s.fuelPer100km = s.speed > 3 ? s.fuelPerHour * 100 / s.speed : 0;

  const double revs = std::clamp((s.rpm - 800) / 2400, 0.0, 1.0);
  s.ignition = s.fuelCut ? 15
               : s.idle  ? 12 + 1.5 * Wander(t, 0.6, 7)
                         : 10 + 22 * revs - 0.08 * (s.load - 15);
  s.knockZone = s.load > 50 && s.rpm < 3500;

  s.desiredIdleSteps = s.idle ? 25 + 0.3 * (kWarm - s.coolant) : 45;
  s.idleSteps = std::max(0.0, s.desiredIdleSteps + std::round(1.5 * Wander(t, 1.1, 8)));
  s.idleAirDesired = 9 + 4 * coldness;
  s.purging = s.closedLoop && s.coolant >= 60;
  s.purge = s.purging ? (s.idle ? 10 : 35) : 0;

  s.battery = 14.1 + 0.08 * Wander(t, 2.3, 9);

  s.steeringAngle = 360 + (s.speed > 0 ? 25 * std::sin(t / 7) : 3 * Wander(t, 4, 10));
  s.steeringTorque = 2 + 3 * std::abs(std::sin(t / 7)) * (s.speed > 0 ? 1 : 0.3);
  for (int phase = 0; phase < 3; ++phase) {
    s.phasePosition[phase] = std::fmod(s.steeringAngle * 40 + 341.33 * phase, 1024);
    s.phaseCurrent[phase] = 120 + 40 * s.steeringTorque / 5 * std::abs(std::sin(t / 7 + phase));
  }
  s.radiatorTemp = kAmbient + 15 * (1 - std::exp(-t / 600.0));
  return s;
}

}  // namespace kd::sim
