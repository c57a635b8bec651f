#pragma once

// The desk's own thread comes first. Threads that serve the network or send in the background
// call this once when they start: they then take the CPU the desk leaves, so a flood of requests
// on a busy PC slows them, never the board. Threads they start later inherit the priority.
void runBehindTheDesk();
