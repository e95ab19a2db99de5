#pragma once

// A seam for tests that race two programs: at a named point a process can be
// held until the test lets it go, so that a race is forced rather than hoped
// for. Inert unless the environment variable QUORVEL_PAUSE_AT names the point
// (and QUORVEL_PAUSE_DIR the folder where the two sides meet).
namespace TestPause {

// When `point` is the one named, writes "<dir>/<point>.reached" and waits
// until "<dir>/<point>.go" exists (two minutes at most).
void at(const char* point);

} // namespace TestPause
