# -*- coding: utf-8 -*-
# Copyright: 2026 the Orva_Utility authors
# The options every module of the collection takes: which controller, and
# which orva-utility runs on it; and the save option of the modules that set.

from __future__ import absolute_import, division, print_function
__metaclass__ = type


class ModuleDocFragment(object):

    DOCUMENTATION = r'''
options:
  controller:
    description:
      - The simulated controller to work on, a directory on the managed host (C(orva-utility --controller DIR)).
      - Without I(controller) and I(board), C(orva-utility) works on its default controller
        (C($ORVA_CONTROLLER), else one in the state directory of the user the task runs as).
    type: path
  board:
    description:
      - The Linux board to work on, described by a board file on the managed host (C(orva-utility --board FILE)).
    type: path
  executable:
    description:
      - The C(orva-utility) program on the managed host, a path or a name looked up in C(PATH).
    type: str
    default: orva-utility
attributes:
  check_mode:
    support: full
    details: C(orva-utility --check) runs the page with all its reads and checks and writes nothing.
  diff_mode:
    support: full
    details: The values before and after, as C(orva-utility --json) reports them.
  platform:
    platforms: posix
requirements:
  - C(orva-utility) on the managed host.
notes:
  - I(controller) and I(board) are mutually exclusive.
  - 'Each task runs C(orva-utility) once or a few times on the managed host with C(--json). The task fails with
    the message the program gives, such as the caption and text of the page''s box
    C(Directory Not exist: Directory not exist, please create it first. ErrCode : 2).'
  - Warnings of the program (a damaged registry copy, an update that erases the saved registry) are the task's
    warnings.
  - The modules form the action group C(orva.controller.orva), so that C(module_defaults) can give
    I(controller) or I(executable) to all of them at once.
'''

    # The modules that set a value: whether the change is saved to flash.
    SAVE = r'''
options:
  save:
    description:
      - Save the registry to flash after a change, as the exit prompt answered Yes does.
      - With C(false) a change is live only, until the next save (M(orva.controller.orva_save)) or restart.
    type: bool
    default: true
'''
