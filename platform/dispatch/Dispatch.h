// Serial queues, the main queue, work items, timer sources, groups and time.
//
// The stand-in for the platform's dispatch library; this header gathers its
// parts. Every queue is serial. Work runs on real threads (one worker per
// queue, the main queue drained by the main thread's run loop) or, while a
// VirtualTime scope is alive, in virtual time on the thread advancing it.
//
// Thread-safety: see each part; every queue operation may be called from any thread.
#pragma once

#include "platform/dispatch/Clock.h"
#include "platform/dispatch/DispatchGroup.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/dispatch/DispatchSourceTimer.h"
#include "platform/dispatch/DispatchWorkItem.h"
#include "platform/dispatch/MainRunLoop.h"
#include "platform/dispatch/VirtualTime.h"
#include "platform/dispatch/Weakly.h"
