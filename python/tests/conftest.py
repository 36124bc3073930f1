"""The tests import the package from this checkout (python/ on sys.path);
VELLUM_LIB names the library to load when no bundled copy is there."""
import sys
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent.parent))
