#include "tracker/tracker_instance.h"

Tracker_Instance::Tracker_Instance() {}

Tracker_Instance::~Tracker_Instance() {}
