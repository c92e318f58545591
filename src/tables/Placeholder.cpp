// The table catalogue, chooser, editor and row set live here.
