// Thrown by value when an event of the socket and event layer cannot be created; caught by the thread hooks.
#pragma once

class CreateEventException {};
