// Thrown by value when a socket cannot be attached to or detached from an AsyncSocketNotifier.
#pragma once

class CannotSetSocketException {};
