# "Lock with Sealdoor" and "Unlock with Sealdoor" in GNOME Files (Nautilus),
# through nautilus-python. The chosen files and folders go to the Sealdoor
# window, which asks for the password; nothing here ever sees it.

import gettext
import subprocess

from gi.repository import GObject, Nautilus

# Sealdoor's own catalogues, in the user's language (English without one).
_ = gettext.translation("sealdoor", fallback=True).gettext


class SealdoorMenu(GObject.GObject, Nautilus.MenuProvider):
    def _run(self, _item, option, paths):
        subprocess.Popen(["sealdoor", option, "--", *paths])

    # Nautilus 43 and later call get_file_items(files); earlier ones
    # get_file_items(window, files). Only for a selection: nothing is
    # offered on a folder's background.
    def get_file_items(self, *args):
        paths = [f.get_location().get_path() for f in args[-1]]
        if not paths or None in paths:
            return []
        items = []
        for name, label, option in (("Lock", _("Lock with Sealdoor"), "--lock"),
                                    ("Unlock", _("Unlock with Sealdoor"), "--unlock")):
            item = Nautilus.MenuItem(name="Sealdoor::" + name, label=label, icon="sealdoor")
            item.connect("activate", self._run, option, paths)
            items.append(item)
        return items
