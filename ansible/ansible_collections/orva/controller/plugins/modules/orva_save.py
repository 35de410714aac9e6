#!/usr/bin/python
# -*- coding: utf-8 -*-
# Copyright: 2026 the Orva_Utility authors

from __future__ import absolute_import, division, print_function
__metaclass__ = type

DOCUMENTATION = r'''
module: orva_save
short_description: Save an Orva controller's registry to flash
version_added: 1.0.0
description:
  - Saves the live registry to the registry area of flash, as the exit prompt of C(orva-utility) answered Yes does,
    so that the controller starts with it.
  - When the copy saved in flash holds the live registry already, nothing is written and the task reports no change.
  - After M(orva.controller.orva_image), which erases the saved registry on purpose, a save writes the live registry
    back; leave it out for the new image to start from its factory registry.
options: {}
extends_documentation_fragment:
  - orva.controller.orva
  - ansible.builtin.action_common_attributes
author:
  - Orva_Utility authors
'''

EXAMPLES = r'''
- name: Settings made with save false, saved once at the end
  orva.controller.orva_save:
    controller: /var/lib/orva/line-3
'''

RETURN = r'''
before:
  description: Whether the copy saved in flash held the live registry before the task.
  returned: success
  type: dict
  sample: {"saved": false}
after:
  description: The same after the task.
  returned: success
  type: dict
  sample: {"saved": true}
'''

from ansible_collections.orva.controller.plugins.module_utils.orva import OrvaUtility, exit_with_change, orva_module


def main():
    module = orva_module({})
    exit_with_change(module, OrvaUtility(module).change(['save']))


if __name__ == '__main__':
    main()
