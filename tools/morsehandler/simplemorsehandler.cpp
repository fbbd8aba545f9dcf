// Written in its own change.
