#pragma once

// A panel's run state. Every panel starts stopped; only transmitters pause.
enum RunState : int { STATE_STOPPED = 1, STATE_PAUSED = 2, STATE_RUNNING = 3 };
