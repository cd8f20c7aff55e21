// The server's object graph in the order start-up builds it. Compiled into
// the server executable (and the fuzz target that drives the same graph),
// not into the core library: it names the slot factories of the layers above.
#pragma once

// Builds the slot factories, each joining the head of the chain: the last
// built is asked first, the trunk factories (built before main) last of all.
void CreateSlotFactories();

// Binds the controllable services to the control server. The order of
// binding is the order in which every command is offered.
void BindControlServices();
