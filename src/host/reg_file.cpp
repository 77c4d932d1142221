// Registry file reader placeholder.
