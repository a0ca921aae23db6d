// Thrown by value when an event of the socket and event layer cannot be set; caught by the thread hooks.
#pragma once

class SetEventException {};
