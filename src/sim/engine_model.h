// The car the controllers report on: a 1.6 l four-cylinder engine that starts cold, idles, and
// drives a fixed two-minute cycle (idle, acceleration with a short full-throttle kick, cruise,
// engine braking with fuel cut-off, stop) over and over while the coolant warms up.
//
// Every value is a pure function of the time since the engine started, so a run gives the same
// readings whatever the order and number of requests — what recorded scenarios and tests need.
#pragma once

#include <cstdint>

namespace kd::sim {

struct EngineState {
  double seconds = 0;  // since the engine started

  double rpm = 0;
  double desiredIdleRpm = 0;
  double throttle = 0;  // % opening
  double throttleVolts = 0;
  double speed = 0;    // km/h
  double coolant = 0;  // °C
  double coolantAtStart = 0;
  double intakeAir = 0;  // °C
  double battery = 0;    // V
  double load = 0;       // % of full cylinder filling
  double manifoldKpa = 0;
  double airFlow = 0;     // kg/h
  double cyclicAir = 0;   // mg per cylinder and cycle
  double cyclicFuel = 0;  // mg per cylinder and cycle
  double injectionMs = 0;
  double baseLoadMs = 0;    // the load as a base injection time
  double fuelPerHour = 0;   // l/h
  double fuelPer100km = 0;  // l/100 km, 0 while standing
  double ignition = 0;      // ° crank before top dead centre
  double idleSteps = 0;
  double desiredIdleSteps = 0;
  double idleAirDesired = 0;  // kg/h
  double o2Volts = 0;
  double o2AfterCatVolts = 0;
  double o2PeriodSeconds = 0;
  double airFuel = 0;
  double warmupFactor = 0;  // enrichment, 1 when warm
  double purge = 0;         // % canister purge
  double mafVolts = 0;
  double o2HeaterWatts = 0;
  int engineMode = 0;  // 0 stop, 1 cranking, 2 idle, 3 part load, 4 full load

  bool engineStopped = false;
  bool idle = false;  // throttle closed
  bool powerEnrichment = false;
  bool fuelCut = false;
  bool knockZone = false;
  bool o2Ready = false;
  bool closedLoop = false;
  bool o2Rich = false;
  bool o2RichBefore = false;  // the previous cycle's state
  bool o2Heater = false;
  bool purging = false;
  bool warmedUp = false;
  // Relays the controller drives; an actuator test may override them.
  bool fuelPump = true;
  bool fan1 = false;
  bool fan2 = false;

  // The electric power steering of the same car.
  double steeringAngle = 0;   // ° of the column sensor, 360 straight ahead
  double steeringTorque = 0;  // N·m
  double phasePosition[3] = {};
  double phaseCurrent[3] = {};
  double radiatorTemp = 0;  // °C
};

class EngineModel {
 public:
  static constexpr double kAmbient = 20;
  static constexpr double kWarm = 90;
  static constexpr double kCycleSeconds = 120;

  EngineState At(std::int64_t ms) const;
};

}  // namespace kd::sim
