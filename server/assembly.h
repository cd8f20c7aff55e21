// The server's object graph in the order start-up builds it, shared by the
// server executable and the fuzz target that drives the same graph.
#pragma once

// Builds the slot factories, each joining the head of the chain: the last
// built is asked first, the trunk factories (built first) last of all.
void CreateSlotFactories();

// Binds the controllable services to the control server. The order of
// binding is the order in which every command is offered.
void BindControlServices();
