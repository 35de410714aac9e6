#!/usr/bin/python
# -*- coding: utf-8 -*-
# Copyright: 2026 the Orva_Utility authors

from __future__ import absolute_import, division, print_function
__metaclass__ = type

DOCUMENTATION = r'''
module: orva_image
short_description: Write an OS image into an Orva controller's flash
version_added: 1.0.0
description:
  - Writes an OS image into the image area of the controller's flash as the Version Update page of
    C(orva-utility) does (Write to Flash now), with its erase and write passes.
  - The image area is read back first; when it holds the image already (its first bytes, as many as the image
    has), nothing is erased or written and the task reports no change.
  - The page erases the registry saved in flash with the image area, on purpose, so that a new image starts from
    its factory registry; the task warns of it. A save after the update and before the restart writes the live
    registry back.
options:
  path:
    description:
      - The image on the managed host, a controller path such as C(\Temp\nk.bin) or the path of a file inside the
        controller's C(fs/) folder.
    type: str
    required: true
  sha256:
    description:
      - The image's SHA-256, 64 hexadecimal digits. The image is checked against it before anything is erased, and
        a mismatch fails the task.
    type: str
  reboot:
    description:
      - Restart the controller after a successful write, with the new image. Nothing restarts when nothing was
        written.
    type: bool
    default: false
  force:
    description:
      - Write the image even when the image area holds it already.
    type: bool
    default: false
extends_documentation_fragment:
  - orva.controller.orva
  - ansible.builtin.action_common_attributes
author:
  - Orva_Utility authors
'''

EXAMPLES = r'''
- name: Copy the image onto the controller
  ansible.builtin.copy:
    src: images/nk-4.20.1.bin
    dest: /var/lib/orva/line-3/fs/Temp/nk.bin
    mode: '0644'

- name: Write it, checked, and restart with it
  orva.controller.orva_image:
    controller: /var/lib/orva/line-3
    path: '\Temp\nk.bin'
    sha256: "{{ lookup('file', 'images/nk-4.20.1.bin.sha256') }}"
    reboot: true
'''

RETURN = r'''
image:
  description: The image as the controller path the page was given.
  returned: success
  type: str
  sample: \Temp\nk.bin
before:
  description: Whether the image area held the image before the task (C(null) with I(force), where it is not read).
  returned: success
  type: dict
  sample: {"holds_image": false}
after:
  description: Whether the image area holds the image after the task (with check mode, would hold).
  returned: success
  type: dict
  sample: {"holds_image": true}
'''

from ansible_collections.orva.controller.plugins.module_utils.orva import OrvaUtility, exit_with_change, orva_module


def main():
    module = orva_module(dict(
        path=dict(type='str', required=True),
        sha256=dict(type='str'),
        reboot=dict(type='bool', default=False),
        force=dict(type='bool', default=False),
    ))
    params = module.params
    options = [] if params['force'] else ['--if-changed']
    if params['sha256']:
        options += ['--sha256', params['sha256']]
    if params['reboot']:
        options.append('--reboot')
    result = OrvaUtility(module).run(['update', params['path']], options, check=True)
    change = dict(changed=result['changed'], before=result['before'], after=result['after'])
    exit_with_change(module, change, image=result['image'])


if __name__ == '__main__':
    main()
