// Nothing of its own: the shared library that links a layer whole.
