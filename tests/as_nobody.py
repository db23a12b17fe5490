"""Running a program as the nobody user from a test that runs as root.

nobody must be able to reach the program: the build folder may sit under a
folder only its owner can enter (a clone in a private home), so the program
is copied into a fresh folder under /tmp that everyone may search.
"""
import os
import shutil
import tempfile

NOBODY = 65534


def unavailable():
    """Why nothing can run as nobody here, or None."""
    return None if os.geteuid() == 0 else "not run as root, so the nobody user cannot be taken"


def reachable_copy(program):
    """(copy of `program` that nobody can execute, function removing it)."""
    folder = tempfile.mkdtemp(prefix="vexlo-nobody-", dir="/tmp")
    os.chmod(folder, 0o755)
    copy = os.path.join(folder, os.path.basename(program))
    shutil.copy2(program, copy)
    os.chmod(copy, 0o755)
    return copy, lambda: shutil.rmtree(folder, ignore_errors=True)


def give_to_nobody(*roots):
    """Every file and folder under `roots` (and the roots) owned by nobody."""
    for root in roots:
        for folder, dirs, files in os.walk(root):
            for name in [folder, *(os.path.join(folder, n) for n in dirs + files)]:
                os.chown(name, NOBODY, NOBODY, follow_symlinks=False)


def become_nobody():
    """preexec_fn for subprocess: the child drops every privilege of root."""
    os.setgroups([])
    os.setgid(NOBODY)
    os.setuid(NOBODY)
